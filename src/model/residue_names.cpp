#include "model/residue_names.h"

namespace lorvane {

namespace {

ResidueNames makeNames() {
    static const char* title[NUM_AMINO_ACIDS] = {"Ala", "Cys", "Asp", "Glu", "Phe", "Gly", "His", "Ile", "Lys", "Leu",
                                                 "Met", "Asn", "Pro", "Gln", "Arg", "Ser", "Thr", "Val", "Trp", "Tyr"};
    static const char* full[NUM_AMINO_ACIDS] = {"Alanine",    "Cysteine",   "Aspartate", "Glutamate", "Phenylalanine",
                                                "Glycine",    "Histidine",  "Isoleucine", "Lysine",   "Leucine",
                                                "Methionine", "Asparagine", "Proline",   "Glutamine", "Arginine",
                                                "Serine",     "Threonine",  "Valine",    "Tryptophan", "Tyrosine"};
    static const char* nucName[5] = {"  A", "  C", "  G", "  T", "  U"};
    static const char* nucCode[5] = {"a", "c", "g", "t", "u"};
    ResidueNames n;
    // emplace keeps the first value of a key.
    for (int i = 0; i < NUM_AMINO_ACIDS; ++i) n.code.emplace(title[i], ONE_LETTER[i]);
    for (int i = 0; i < NUM_AMINO_ACIDS; ++i) n.code.emplace(THREE_LETTER[i], ONE_LETTER[i]);
    n.code.emplace("UNK", "U");
    for (int i = 0; i < 5; ++i) n.code.emplace(nucName[i], nucCode[i]);
    for (int i = 0; i < NUM_AMINO_ACIDS; ++i) n.code.emplace(ONE_LETTER[i], THREE_LETTER[i]);
    n.code.emplace("U", "UNK");
    for (int i = 0; i < 5; ++i) n.code.emplace(nucCode[i], nucName[i]);
    for (int i = 0; i < NUM_AMINO_ACIDS; ++i) n.code.emplace(full[i], ONE_LETTER[i]);
    n.code.emplace("Disulfide", "Z");
    n.code.emplace("Unknown", "U");
    n.code.emplace("Cytosine", "c");
    n.code.emplace("Thymine", "t");
    n.code.emplace("Adenine", "a");
    n.code.emplace("Guanine", "g");
    n.code.emplace("Uracil", "u");

    for (int i = 0; i < NUM_AMINO_ACIDS; ++i) n.type.emplace(ONE_LETTER[i], i);
    for (int i = 0; i < 5; ++i) n.type.emplace(nucCode[i], 20 + i);
    n.type.emplace("Z", 25);
    n.type.emplace("U", 26);
    for (int i = 0; i < NUM_AMINO_ACIDS; ++i) n.type.emplace(THREE_LETTER[i], i);
    for (int i = 0; i < 5; ++i) n.type.emplace(nucName[i], 20 + i);
    return n;
}

}  // namespace

const ResidueNames& residueNames() {
    static const ResidueNames names = makeNames();
    return names;
}

int residueType(const std::string& code) {
    const auto& m = residueNames().type;
    auto it = m.find(code);
    return it == m.end() ? -1 : it->second;
}

}  // namespace lorvane
