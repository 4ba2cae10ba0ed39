// The decoy reader of compare mode on arbitrary text, against the H-Ras loop 45-52.
#include "evaluate/decoy_reader.h"
#include "fuzz_support.h"
#include "model/deviation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lorvane_fuzz;
    static const int start = positionOf(ras(), 45), end = positionOf(ras(), 52);
    static lorvane::Structure work = ras();
    return rejectOnlyByError([&] {
        lorvane::TableText in("fuzz.txt", text(data, size));
        lorvane::DecoyReader reader(templates(), in, ras(), start, end);
        double scores[4];
        while (reader.next(work, scores)) lorvane::rmsdg(work, ras(), start, end);  // what compare mode does with each decoy
    });
}
