// The production loop of a sampling run: one growth step and one filter pass
// per plan step. It sits in the filter, the lowest subsystem that sees both.
#include <omp.h>

#include <algorithm>
#include <iostream>

#include "filter/filter.h"
#include "filter/progress.h"
#include "growth/reseed.h"

namespace lorvane {

void production(Sampler& run, FilterState& fs) {
    prepare(run);
    fs.work.resize(std::max(run.settings.threads, 1));
    // A result file that cannot be written must stop the run now, not after sampling.
    prepareOutputFiles(resultFilePath(run), run.settings.diag);
    // -diag writes its tables to standard error too: progress then goes line by line.
    const bool talk = run.settings.progress;
    Progress progress(std::cerr, talk, !run.settings.diag && Progress::stderrIsTerminal());
    for (int i = 0; i < run.plan.steps; ++i) {
        run.chi1SD = CHI1_SD;
        const int seeds = run.liveSeeds;
        int deadEnds = growStep(run, i, false);
        if (deadEnds >= run.liveSeeds - 4) {
            run.chi1SD = CHI1_SD_RETRY;
            deadEnds = growStep(run, i, true);
        }
        if (fs.probe) fs.probe->grown(i, run.plan.order[i], run.plan.backward[i], seeds, deadEnds);
        filterStep(run, fs, i);
        if (run.liveSeeds < 2) {
            progress.note("Restarting this residue.");
            const int survivors = run.liveSeeds;
            run.liveSeeds = 5;
            run.scCut *= 100.0;
            if (run.settings.protocol.reseed && survivors > 0) run.liveSeeds = reseedSlots(run.seeds, i, survivors, run.liveSeeds);
        }
        progress.step(i + 1, run.plan.steps, run.liveSeeds, omp_get_wtime() - run.runStart);
    }
    progress.finish();
    if (talk) std::cerr << "Final conformations written.  Total time: " << omp_get_wtime() - run.runStart << "s" << std::endl;
}

}  // namespace lorvane
