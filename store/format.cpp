#include "store/format.h"

#include <limits>

#include "io/text.h"

namespace store::format {

const TypeClass* type_class(std::string_view type_text) {
    const std::string t = io::fixed(type_text, 2);
    for (const auto& c : kTypeClasses) {
        if (c.text == t) return &c;
    }
    return nullptr;
}

const StoreClass* store_class(std::string_view store_text) {
    const std::string t = io::fixed(store_text, 4);
    for (const auto& c : kStoreClasses) {
        if (c.texts[0] == t || c.texts[1] == t) return &c;
    }
    return nullptr;
}

const StoreClass* store_class(std::int32_t store_code) {
    for (const auto& c : kStoreClasses) {
        if (c.code == store_code) return &c;
    }
    return nullptr;
}

void advance_counters(Numraf numraf, const StoreClass& c) {
    if (c.structure) ++numraf[NumrafWord::StructureCounter];
    if (c.step == StepPart::Result) ++numraf[NumrafWord::ResultCounter];
    if (c.step == StepPart::Restart) ++numraf[NumrafWord::RestartCounter];
}

void first_booking(Row row, const TypeClass& type, std::int32_t words_per_element,
                   std::int32_t length, const StoreClass& store, ConstNumraf numraf) {
    row[RowWord::Type] = type.code;
    row[RowWord::WordsPerElement] = words_per_element;
    row[RowWord::Length] = length;
    row[RowWord::StoreCode] = store.code;
    if (store.code != 0) {
        row[RowWord::StructureIndex] = numraf[NumrafWord::StructureCounter];
        row[RowWord::ResultIndex] = numraf[NumrafWord::ResultCounter];
        row[RowWord::RestartIndex] = numraf[NumrafWord::RestartCounter];
    }
    row[RowWord::RealFlag] = type.real;
}

std::int32_t record_key(std::int32_t nstru, std::int32_t nres, std::int32_t nrest,
                        std::int32_t key_offset, std::int32_t store_code, std::int32_t is,
                        std::int32_t ir, std::int32_t irs, std::int32_t step) {
    const std::int64_t s4 = nstru, s5 = nres, s6 = nrest;
    if (s4 + s5 + s6 <= 0) return 0;
    const StoreClass* c = store_class(store_code);
    if (c == nullptr) return 0;
    // Behind key_offset: the structure records, then per step its result
    // records and then its restart records.
    const std::int64_t base = key_offset + s4 + (static_cast<std::int64_t>(step) - 1) * (s5 + s6);
    std::int64_t key = 0;
    if (step >= 1 && c->step == StepPart::Result) {
        key = base + ir;
    } else if (step >= 1 && c->step == StepPart::Restart) {
        key = base + s5 + irs;
    } else if (c->structure) {
        key = static_cast<std::int64_t>(key_offset) + is;
    }
    if (key < std::numeric_limits<std::int32_t>::min() ||
        key > std::numeric_limits<std::int32_t>::max()) {
        return -1;
    }
    return static_cast<std::int32_t>(key);
}

std::int32_t record_key(ConstNumraf numraf, ConstRow row, std::int32_t step) {
    return record_key(numraf[NumrafWord::FileStructure], numraf[NumrafWord::FileResults],
                      numraf[NumrafWord::FileRestarts], numraf[NumrafWord::KeyOffset],
                      row[RowWord::StoreCode], row[RowWord::StructureIndex],
                      row[RowWord::ResultIndex], row[RowWord::RestartIndex], step);
}

}  // namespace store::format

namespace store {

std::int32_t type_code(std::string_view type_text) {
    const format::TypeClass* c = format::type_class(type_text);
    return c != nullptr ? c->code : 0;
}

std::int32_t words_per_element(std::string_view type_text) {
    const format::TypeClass* c = format::type_class(type_text);
    return c != nullptr ? c->words : 0;
}

std::int32_t store_code(std::string_view store_text) {
    const format::StoreClass* c = format::store_class(store_text);
    return c != nullptr ? c->code : -1;
}

std::string type_text_of(std::int32_t code, std::int32_t real_flag) {
    // A code shared by two texts (DP and RE) is told apart by the real-flag.
    const format::TypeClass* found = nullptr;
    for (const auto& c : format::kTypeClasses) {
        if (c.code != code || !c.named_back) continue;
        if (found == nullptr || (c.real != 0) == (real_flag != 0)) found = &c;
    }
    return found != nullptr ? std::string(found->text) : "??";
}

std::string store_text_of(std::int32_t code) {
    const format::StoreClass* c = format::store_class(code);
    return c != nullptr ? std::string(c->texts[0]) : "????";
}

}  // namespace store
