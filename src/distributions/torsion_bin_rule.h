#pragma once
// Which 5-degree torsion bin an angle reads. The tables' bin k is centred on
// -180 + 5k degrees (they are derived that way and the growth step builds
// exactly those angles); the classic pipeline's closure and final torsion
// score read floor((angle + 180) / 5), half a bin off.

namespace lorvane {

enum class TorsionBinRule { Floor, Centred };

// Bin 0..71 of an angle in degrees under a rule (periodic: +180 is the bin of
// -180); -1 when not finite.
int torsionBinOf(double degrees, TorsionBinRule rule);

}  // namespace lorvane
