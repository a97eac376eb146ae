#include "container/box_type_trie.h"

#include <mutex>

namespace ravir {

const char* const kBoxTypeTable[kBoxTypeTableSize] = {
    "moov", "trak", "mdia", "minf", "stbl", "stts",
    "ainf", "avcn", "bloc", "bpcc", "buff", "bxml", "ccid", "cdef", "clip", "cmap",
    "co64", "colr", "crgn", "crhd", "cslg", "ctab", "ctts", "cvru", "dinf", "dref",
    "dsgd", "dstg", "edts", "elst", "fdel", "feci", "fecr", "fiin", "fire", "fpar",
    "free", "frma", "ftyp", "gitn", "grpi", "hdlr", "hmhd", "hpix", "icnu", "ID32",
    "idat", "ihdr", "iinf", "iloc", "imap", "imif", "infe", "infu", "iods", "iphd",
    "ipmc", "ipro", "iref", "jP  ", "jp2c", "jp2h", "jp2i", "kmat", "leva", "load",
    "lrcu", "m7hd", "matt", "mdat", "mdhd", "mdia", "mdri", "meco", "mehd", "mere",
    "meta", "mfhd", "mfra", "mfro", "minf", "mjhd", "moof", "moov", "mvcg", "mvci",
    "mvex", "mvhd", "mvra", "nmhd", "ochd", "odaf", "odda", "odhd", "odhe", "odrb",
    "odrm", "odtt", "ohdr", "padb", "paen", "pclr", "pdin", "pitm", "pnot", "prft",
    "res ", "resc", "resd", "rinf", "saio", "saiz", "sbgp", "schi", "schm", "sdep",
    "sdhd", "sdtp", "sdvp", "segr", "senc", "sgpd", "sidx", "sinf", "skip", "smhd",
    "srmb", "srmc", "srpp", "ssix", "stbl", "stco", "stdp", "sthd", "strd", "stri",
    "stsc", "stsd", "stsg", "stsh", "stss", "stsz", "stts", "styp", "stz2", "subs",
    "swtc", "tfad", "tfdt", "tfhd", "tfma", "tfra", "tibr", "tiri", "tkhd", "traf",
    "trak", "tref", "trex", "trgr", "trik", "trun", "udta", "uinf", "UITS", "ulst",
    "url ", "uuid", "vmhd", "vwdi", "xml ", "xml ", "udat", "ICAT",
};

int32_t BoxTypeTrie::findChild(const int32_t* children, int32_t count, uint8_t ch) const
{
    for (int32_t i = 0; i < count; ++i) {
        if (nodes_[static_cast<size_t>(children[i])].ch == ch)
            return children[i];
    }
    return -1;
}

void BoxTypeTrie::insert(const char* type4)
{
    const auto* t = reinterpret_cast<const uint8_t*>(type4);
    int32_t at = findChild(roots_.data(), rootCount_, t[0]);
    if (at < 0) {
        if (rootCount_ >= kMaxChildren)
            return;
        nodes_.push_back(Node{t[0], 0, {}});
        at = static_cast<int32_t>(nodes_.size() - 1);
        roots_[static_cast<size_t>(rootCount_++)] = at;
    }
    for (int level = 1; level < 4; ++level) {
        const int32_t found = findChild(nodes_[static_cast<size_t>(at)].children.data(),
                                        nodes_[static_cast<size_t>(at)].childCount, t[level]);
        if (found >= 0) {
            at = found;
            continue;
        }
        if (nodes_[static_cast<size_t>(at)].childCount >= kMaxChildren)
            return;
        nodes_.push_back(Node{t[level], 0, {}});
        const auto added = static_cast<int32_t>(nodes_.size() - 1);
        Node& parent = nodes_[static_cast<size_t>(at)];
        parent.children[static_cast<size_t>(parent.childCount++)] = added;
        at = added;
    }
}

bool BoxTypeTrie::contains(const uint8_t* type4) const
{
    int32_t at = findChild(roots_.data(), rootCount_, type4[0]);
    for (int level = 1; level < 4 && at >= 0; ++level) {
        const Node& n = nodes_[static_cast<size_t>(at)];
        at = findChild(n.children.data(), n.childCount, type4[level]);
    }
    return at >= 0;
}

namespace {
BoxTypeTrie& trieStorage()
{
    static BoxTypeTrie trie;
    return trie;
}
std::once_flag& trieOnce()
{
    static std::once_flag flag;
    return flag;
}
}  // namespace

void BuildBoxTypeTrie()
{
    std::call_once(trieOnce(), [] {
        for (int i = kBoxTypePathLength; i < kBoxTypeTableSize; ++i)
            trieStorage().insert(kBoxTypeTable[i]);
    });
}

const BoxTypeTrie& KnownBoxTypes()
{
    BuildBoxTypeTrie();
    return trieStorage();
}

bool IsKnownBoxType(const uint8_t* type4) { return KnownBoxTypes().contains(type4); }

}  // namespace ravir
