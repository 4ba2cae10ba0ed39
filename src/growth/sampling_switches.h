#pragma once
// Sampling variants beyond the program's classic pipeline, each behind its
// own command-line switch. All off by default: without switches the sampler
// runs exactly as before. Set by the driver before sampling, read-only after.
struct SamplingSwitches {
    // -xdiverse: the filter keeps the population by clusters of the children
    // (growing end and partial chain) instead of by rank, thinning and a cap.
    bool diverse = false;
    // -xfew N: children kept per cluster before the population is filled from
    // the remaining ranked list (with -xdiverse).
    int perCluster = 1;
    // -xshare F: share of the population the cluster rounds may take (with
    // -xdiverse); the rest is filled by rank.
    double clusterShare = 0.5;
    // -xclose N: closure geometry tried per candidate (N-CA-C angles and
    // peptide torsions); 0 keeps the single random draw.
    int closeDraws = 0;
    // -xncac: the N-CA-C angle of every grown residue drawn per residue type
    // from the train-derived distribution instead of the fixed 111.2 degrees.
    bool drawNCAC = false;
    // -xreseed: on a collapse (fewer than 2 survivors) the survivors are copied
    // into the empty seed slots.
    bool reseed = false;
    // -xpop: population size from the loop length (see population.h).
    bool lengthPopulation = false;
};

extern SamplingSwitches samplingSwitches;
