#include "tools/dynres_writer.h"

#include <algorithm>
#include <limits>

#include "io/text.h"

namespace tools {

namespace {

// The writer's name list: entry n names array number n.
std::vector<std::string> name_list(bool stepinf) {
    std::vector<std::string> names(22);
    names[10] = "NODES";
    names[11] = "MSTRU";
    names[12] = "RUNINFO";
    names[13] = "ICDYNR";
    names[14] = "MPDYNR";
    if (stepinf) names[15] = "STEPINF";
    names[16] = "TS";
    names[17] = "MDYNR";
    names[18] = "WORK1";
    names[19] = "DYNRES";
    return names;
}

constexpr std::int32_t kNodes = 11;
constexpr std::int32_t kMstru = 12;
constexpr std::int32_t kRunInfo = 13;
constexpr std::int32_t kIcdynr = 14;
constexpr std::int32_t kMpdynr = 15;
constexpr std::int32_t kStepInf = 16;
constexpr std::int32_t kMdynr = 18;
constexpr std::int32_t kWork1 = 19;
constexpr std::int32_t kDynres = 20;
constexpr std::int32_t kStructureRecords = 9;  // catalogue (3) and six structure arrays

std::string upper(std::string_view s) {
    std::string t(io::trim(s));
    for (char& c : t) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return t;
}

std::int32_t to_count(std::int64_t n, std::string_view what) {
    if (n < 0 || n > std::numeric_limits<std::int32_t>::max()) {
        throw WriteError(std::string(what) + " out of range: " + std::to_string(n));
    }
    return static_cast<std::int32_t>(n);
}

std::int32_t ndynres_of(const DynResLayout& layout) {
    const std::int64_t n =
        layout.ndynres >= 0 ? layout.ndynres : static_cast<std::int64_t>(layout.labels.size());
    if (layout.ndynres < -1) throw WriteError("negative number of DynRes");
    if (static_cast<std::int64_t>(layout.labels.size()) > n) {
        throw WriteError("more labels (" + std::to_string(layout.labels.size()) +
                         ") than DynRes (" + std::to_string(n) + ")");
    }
    return to_count(n, "number of DynRes");
}

std::int32_t slots_of(const DynResLayout& layout) {
    if (layout.pack < 0) throw WriteError("negative nDRpack");
    return std::max(layout.pack, 1);
}

std::int32_t records_of(const DynResLayout& layout) {
    if (layout.steps < 0) throw WriteError("negative number of steps");
    if (layout.records < -1) throw WriteError("negative number of records");
    if (layout.records >= 0) return layout.records;
    const std::int64_t p = slots_of(layout);
    return to_count((layout.steps + p - 1) / p, "number of records");
}

std::int32_t record_length_of(const DynResLayout& layout) {
    return to_count(static_cast<std::int64_t>(slots_of(layout)) * (ndynres_of(layout) + 1LL),
                    "DYNRES record length");
}

WriterOptions file_options(const DynResLayout& layout) {
    WriterOptions o = layout.options;
    const std::int64_t per_step = layout.stepinf ? 2 : 1;
    o.max_key = 100 + kStructureRecords + per_step * records_of(layout);
    return o;
}

}  // namespace

// ---- MSTRU ----

void Mstru::set(std::string_view name, std::int32_t value) {
    const std::string key = upper(name);
    for (auto& id : identifiers) {
        if (upper(id.name) == key) {
            id.value = value;
            return;
        }
    }
    identifiers.push_back({std::string(io::trim(name)), value});
}

void Mstru::remove(std::string_view name) {
    const std::string key = upper(name);
    std::erase_if(identifiers, [&](const Identifier& id) { return upper(id.name) == key; });
}

std::optional<std::int32_t> Mstru::get(std::string_view name) const {
    const std::string key = upper(name);
    for (const auto& id : identifiers) {
        if (upper(id.name) == key) return id.value;
    }
    return std::nullopt;
}

std::vector<std::int32_t> Mstru::build() const {
    if (fixed) return words;
    const auto count = static_cast<std::int64_t>(identifiers.size());
    const std::int64_t capacity = count + spare;
    if (offset < 0 || spare < 0) throw WriteError("MSTRU: negative offset or spare room");
    if (count > offset) {
        throw WriteError("MSTRU: " + std::to_string(count) +
                         " identifiers do not fit ahead of the table at offset " +
                         std::to_string(offset));
    }
    const std::int64_t length = offset + 5 + 2 * capacity;
    std::vector<std::int32_t> m(static_cast<std::size_t>(to_count(length, "MSTRU length")), 0);
    const auto t = [&](std::int64_t i) -> std::int32_t& {
        return m[static_cast<std::size_t>(offset + i - 1)];
    };
    t(1) = static_cast<std::int32_t>(capacity);
    t(2) = message_unit;
    t(3) = static_cast<std::int32_t>(count);
    t(4) = upper_case;
    t(5) = open;
    for (std::int64_t j = 1; j <= count; ++j) {
        const Identifier& id = identifiers[static_cast<std::size_t>(j - 1)];
        m[static_cast<std::size_t>(j - 1)] = id.value;
        const NameWords w = pack_name(upper_case == 1 ? upper(id.name) : id.name);
        t(2 * j + 4) = w.first;
        t(2 * j + 5) = w.second;
    }
    return m;
}

Mstru dynres_mstru(std::int32_t loadst, std::int32_t ndynres, std::int32_t ncol,
                   std::int32_t ndrstep, std::int32_t ndrpack) {
    Mstru m;
    m.identifiers = {{"IDLAYOUT", -1},     {"IDOFFSET", m.offset}, {"LOADST", loadst},
                     {"NDYNRES", ndynres}, {"NCOL", ncol},         {"NDRSTEP", ndrstep}};
    if (ndrpack > 0) m.identifiers.push_back({"NDRPACK", ndrpack});
    return m;
}

// ---- labels ----

std::int32_t label_width(const DynResLayout& layout) {
    if (layout.ncol < 0) throw WriteError("negative label width");
    if (layout.ncol > 0) return layout.ncol;
    std::size_t longest = 1;
    for (const auto& l : layout.labels) longest = std::max(longest, l.size());
    return to_count(static_cast<std::int64_t>(longest), "label width");
}

Mstru default_mstru(const DynResLayout& layout) {
    return dynres_mstru(records_of(layout), ndynres_of(layout), layout.ncol, layout.steps,
                        layout.pack);
}

std::vector<std::int32_t> label_words(const DynResLayout& layout) {
    const std::int64_t n = ndynres_of(layout);
    const std::int64_t width = label_width(layout);
    const std::int32_t total = to_count(n * width, "ICDYNR length");
    std::vector<std::int32_t> words(static_cast<std::size_t>(total), layout.zero_padding ? 0 : 32);
    for (std::size_t k = 0; k < layout.labels.size(); ++k) {
        const std::string& l = layout.labels[k];
        const std::size_t m = std::min(l.size(), static_cast<std::size_t>(width));
        for (std::size_t c = 0; c < m; ++c) {
            words[k * static_cast<std::size_t>(width) + c] = static_cast<unsigned char>(l[c]);
        }
    }
    return words;
}

// ---- the writer ----

DynResWriter::DynResWriter(const std::filesystem::path& file, DynResLayout layout)
    : layout_(std::move(layout)),
      ndynres_(ndynres_of(layout_)),
      slots_(slots_of(layout_)),
      records_(records_of(layout_)),
      record_length_(record_length_of(layout_)),
      writer_(file, name_list(layout_.stepinf), file_options(layout_)) {
    const std::vector<std::int32_t> mstru =
        layout_.mstru ? layout_.mstru->build() : default_mstru(layout_).build();
    const std::vector<std::int32_t> labels =
        layout_.raw_labels ? *layout_.raw_labels : label_words(layout_);
    const std::int32_t dynres_length = layout_.dynres_length.value_or(record_length_);
    if (dynres_length < 0) throw WriteError("negative DYNRES length");

    // Booked in the order of the result programs, so that the indices of
    // the rows are those of their files.
    DynFileWriter& w = writer_;
    w.book(kNodes, "IN", "STRU", 12);
    w.book(kMstru, "IN", "STRU", to_count(static_cast<std::int64_t>(mstru.size()), "MSTRU"));
    if (layout_.stepinf) w.book(kStepInf, "SP", "POST", 2);
    w.book(kDynres, "SP", "POST", dynres_length);
    w.book(kIcdynr, "IN", "STRU", to_count(static_cast<std::int64_t>(labels.size()), "ICDYNR"));
    w.book(kMdynr, "RE", "STRU", 6);
    w.book(kMpdynr, "DP", "CTRL", 4);
    w.book(kRunInfo, "IN", "CTRL", 8);
    w.book(kWork1, "SP", "SCRA", 50);

    const auto ints = [](std::int32_t n, std::int32_t length) {
        std::vector<std::int32_t> v(static_cast<std::size_t>(length));
        for (std::int32_t k = 1; k <= length; ++k)
            v[static_cast<std::size_t>(k - 1)] = 1000 * n + k;
        return v;
    };
    const auto reals = [](std::int32_t n, std::int32_t length) {
        std::vector<double> v(static_cast<std::size_t>(length));
        for (std::int32_t k = 1; k <= length; ++k) v[static_cast<std::size_t>(k - 1)] = n + k / 4.0;
        return v;
    };
    w.write_ints(kNodes, 0, ints(kNodes, 12));
    w.write_ints(kMstru, 0, mstru);
    w.write_ints(kIcdynr, 0, labels);
    w.write_doubles(kMdynr, 0, reals(kMdynr, 6));
    w.write_doubles(kMpdynr, 0, reals(kMpdynr, 4));
    w.write_ints(kRunInfo, 0, ints(kRunInfo, 8));

    record_.assign(static_cast<std::size_t>(record_length_), 0.0F);
}

void DynResWriter::put_record(std::span<const float> record) {
    if (records_written_ >= records_) {
        throw WriteError("more DYNRES records than the " + std::to_string(records_) + " announced");
    }
    const std::int32_t s = ++records_written_;
    if (layout_.stepinf) {
        const std::array<float, 2> info{static_cast<float>(s + 0.25), static_cast<float>(s + 0.5)};
        writer_.write_floats(kStepInf, s, info);
    }
    writer_.write_floats(kDynres, s, record);
}

void DynResWriter::add_step(float time, std::span<const float> values) {
    if (raw_) throw WriteError("add_step after add_record");
    if (values.size() != static_cast<std::size_t>(ndynres_)) {
        throw WriteError("a step needs " + std::to_string(ndynres_) + " values, not " +
                         std::to_string(values.size()));
    }
    if (steps_added_ >= layout_.steps) {
        throw WriteError("more steps than the " + std::to_string(layout_.steps) + " announced");
    }
    ++steps_added_;
    const auto at = static_cast<std::size_t>(slot_) * (static_cast<std::size_t>(ndynres_) + 1);
    record_[at] = time;
    std::copy(values.begin(), values.end(), record_.begin() + static_cast<std::ptrdiff_t>(at + 1));
    if (++slot_ == slots_) {
        put_record(record_);
        std::fill(record_.begin(), record_.end(), 0.0F);
        slot_ = 0;
    }
}

void DynResWriter::add_record(std::span<const float> record) {
    if (steps_added_ > 0) throw WriteError("add_record after add_step");
    raw_ = true;
    put_record(record);
}

void DynResWriter::finish() {
    if (slot_ > 0) {
        put_record(record_);
        slot_ = 0;
    }
    if (!raw_ && steps_added_ != layout_.steps) {
        throw WriteError(std::to_string(steps_added_) + " steps added, " +
                         std::to_string(layout_.steps) + " announced");
    }
    if (records_written_ != records_) {
        throw WriteError(std::to_string(records_written_) + " DYNRES records written, " +
                         std::to_string(records_) + " announced");
    }
    writer_.finish();
}

void write_dynres_file(const std::filesystem::path& file, DynResLayout layout,
                       std::span<const float> times,
                       const std::vector<std::vector<float>>& values) {
    layout.steps = to_count(static_cast<std::int64_t>(times.size()), "number of steps");
    if (layout.ndynres < 0)
        layout.ndynres = to_count(static_cast<std::int64_t>(values.size()), "DynRes");
    if (values.size() != static_cast<std::size_t>(layout.ndynres)) {
        throw WriteError("values of " + std::to_string(values.size()) + " DynRes for " +
                         std::to_string(layout.ndynres));
    }
    for (const auto& v : values) {
        if (v.size() != times.size()) throw WriteError("a DynRes series of another length");
    }
    DynResWriter w(file, std::move(layout));
    std::vector<float> step(values.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        for (std::size_t k = 0; k < values.size(); ++k) step[k] = values[k][i];
        w.add_step(times[i], step);
    }
    w.finish();
}

void write_dynres_records(const std::filesystem::path& file, DynResLayout layout,
                          const std::vector<std::vector<float>>& records) {
    layout.records = to_count(static_cast<std::int64_t>(records.size()), "number of records");
    DynResWriter w(file, std::move(layout));
    for (const auto& r : records) w.add_record(r);
    w.finish();
}

}  // namespace tools
