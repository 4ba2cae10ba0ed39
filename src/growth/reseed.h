#pragma once
// Re-seeding after a population collapse: when fewer than two seeds survive a
// step, the empty slots the next step grows from would hold stale or
// zero-filled path records. With the protocol's re-seeding they get copies of
// the survivors instead.
#include "growth/seed_buffers.h"

namespace lorvane {

// Copies the path of survivors 0..survivors-1 (every record of steps
// 0..step: path record, side-chain states and energies, stored points of the
// generation buffer of step) round-robin into slots survivors..target-1.
// Nothing happens without survivors. Returns the number of live slots.
int reseedSlots(SeedBuffers& B, int step, int survivors, int target);

}  // namespace lorvane
