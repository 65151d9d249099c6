#include "tools/dynwriter.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

#include "io/text.h"
#include "store/store.h"

namespace tools {

namespace {

namespace format = store::format;
using format::NumrafWord;
using format::RowWord;

constexpr std::int32_t kRowWords = format::kRowLength;  // words of a row kept here
// Where the writing program's data manager hands out its first array, and
// the words it leaves between two arrays (word 10 of a row is only a
// plausible pointer / 100; no reader uses it).
constexpr std::int64_t kFirstWord = 111;
constexpr std::int64_t kGapWords = 2;

std::string in_quotes(std::string_view s) {
    std::string q;
    q.reserve(s.size() + 2);
    q += '\'';
    q += s;
    q += '\'';
    return q;
}

}  // namespace

NameWords pack_name(std::string_view name) {
    const std::string_view s = io::trim(name);
    if (s.empty() || s.size() > dms::kMaxNameLength) {
        throw WriteError("illegal name " + in_quotes(name) + ": 1 to 8 characters are needed");
    }
    if (const std::size_t i = dms::illegal_name_character(s); i != std::string_view::npos) {
        throw WriteError("illegal name " + in_quotes(name) + ": character code " +
                         std::to_string(static_cast<unsigned char>(s[i])) + " outside 33..126");
    }
    return *format::pack_name(s);
}

std::int32_t mfp_size(std::int64_t max_key) {
    const std::int64_t n = std::max<std::int64_t>(max_key, format::kIarrnmKey);
    const std::int64_t pages = (n + raflib::kPageEntries - 1) / raflib::kPageEntries;
    const std::int64_t size = pages * raflib::kPageEntries;
    if (size > raflib::kMaxI8) {
        throw WriteError("too many records for one file: record key " + std::to_string(max_key) +
                         " (at most " + std::to_string(raflib::kMaxI8) + ")");
    }
    return static_cast<std::int32_t>(size);
}

DynFileWriter::DynFileWriter(const std::filesystem::path& file, std::vector<std::string> names,
                             WriterOptions options)
    : path_(file),
      names_(std::move(names)),
      options_(std::move(options)),
      units_(keyboard_, console_, file.parent_path()),
      raf_(units_, options_.clock) {
    const auto list = static_cast<std::int64_t>(names_.size());
    if (list + 3 > std::numeric_limits<std::int32_t>::max() / (2 * kRowWords)) {
        throw WriteError("name list too long");
    }
    if (options_.row_length < 0) throw WriteError("negative KEYRAF row length");
    names_words_.resize(static_cast<std::size_t>(rows()));
    for (std::int64_t n = 1; n <= list; ++n) {
        const std::string& nm = names_[static_cast<std::size_t>(n - 1)];
        if (io::trim(nm).empty()) continue;
        if (n <= 10) {
            throw WriteError("array numbers 1 to 10 are reserved: entry " + std::to_string(n) +
                             " of the name list must be blank");
        }
        names_words_[static_cast<std::size_t>(n - 1)] = pack_name(nm);
    }
    const std::int32_t nnum = rows() - 2;
    names_words_[static_cast<std::size_t>(nnum - 1)] = pack_name("NUMRAF");
    names_words_[static_cast<std::size_t>(nnum)] = pack_name("KEYRAF");
    names_words_[static_cast<std::size_t>(nnum + 1)] = pack_name("IARRNM");
    rows_.resize(static_cast<std::size_t>(rows()));

    mfpmax_ = mfp_size(options_.max_key);
    raflib::RAFINI(raf_, io::kConsole);
    std::string name = file.filename().string();
    std::int32_t ierr = 0;
    raflib::RAFNEW(raf_, options_.unit, name, "UNKNOWN", mfpmax_, ierr);
    check(ierr, "creating " + in_quotes(file.string()));
    open_ = true;

    const format::Numraf numraf = format::numraf_in(numraf_);
    numraf[NumrafWord::RowLength] = options_.row_length;
    numraf[NumrafWord::Rows] = rows();
    numraf[NumrafWord::NameLength] = format::kNameLength;
    numraf[NumrafWord::KeyOffset] = format::kKeyOffset;
    numraf[NumrafWord::AddressDivisor] = format::kAddressDivisor;
    next_word_ = kFirstWord;
    const std::int64_t keyraf_words = static_cast<std::int64_t>(options_.row_length) * rows();
    if (keyraf_words > std::numeric_limits<std::int32_t>::max()) {
        throw WriteError("KEYRAF too long");
    }
    book_row(nnum, "IN", "-AR-", format::kNumrafWords);
    book_row(nnum + 1, "IN", "-AR-", static_cast<std::int32_t>(keyraf_words));
    book_row(nnum + 2, "IN", "-AR-", 2 * rows());
    // Room for the catalogue ahead of every data area; finish() fills it.
    for (std::int32_t n = nnum; n <= nnum + 2; ++n) {
        const std::int32_t length = row_word(n, static_cast<std::int32_t>(RowWord::Length));
        buffer_.assign(static_cast<std::size_t>(length), 0);
        std::int32_t jerr = 0;
        raflib::RAFPIN(raf_, buffer_, length, key(n, 0), options_.unit, jerr);
        check(jerr, "reserving the catalogue");
    }
}

DynFileWriter::~DynFileWriter() {
    if (!open_) return;
    std::int32_t ierr = 0;
    raflib::RAFCLS(raf_, options_.unit, ierr);
}

void DynFileWriter::check(std::int32_t ierr, std::string_view what) {
    if (ierr == 0) return;
    std::string text = std::string(what) + " failed (RAFLIB message " +
                       std::to_string(ierr < 0 ? -static_cast<std::int64_t>(ierr) : ierr) + ")";
    // The RAFLIB message lines, without their trailing blanks and empty lines.
    std::istringstream messages(console_.str());
    console_.str("");
    std::string line;
    bool first = true;
    while (std::getline(messages, line)) {
        const std::string_view l = io::trim_right(line);
        if (l.empty()) continue;
        text += first ? ":\n" : "\n";
        text += l;
        first = false;
    }
    throw WriteError(text);
}

std::int32_t DynFileWriter::number(std::string_view name) const {
    const std::string_view nm = io::trim(name);
    if (nm.empty()) return 0;
    for (std::size_t n = 11; n <= names_.size(); ++n) {
        if (io::trim(names_[n - 1]) == nm) return static_cast<std::int32_t>(n);
    }
    const auto list = static_cast<std::int32_t>(names_.size());
    if (nm == "NUMRAF") return list + 1;
    if (nm == "KEYRAF") return list + 2;
    if (nm == "IARRNM") return list + 3;
    return 0;
}

std::int32_t DynFileWriter::checked_number(std::string_view name) const {
    const std::int32_t n = number(name);
    if (n == 0) throw WriteError("array " + in_quotes(name) + " is not in the name list");
    return n;
}

void DynFileWriter::book(std::int32_t number, std::string_view type, std::string_view store,
                         std::int32_t length) {
    if (writing_) {
        throw WriteError("array " + std::to_string(number) +
                         " booked after the first write: the record keys would change");
    }
    if (number < 11 || number > static_cast<std::int32_t>(names_.size())) {
        throw WriteError("array number " + std::to_string(number) + " outside 11.." +
                         std::to_string(names_.size()));
    }
    if (rows_[static_cast<std::size_t>(number - 1)].booked) {
        throw WriteError("array " + std::to_string(number) + " is booked already");
    }
    book_row(number, type, store, length);
}

void DynFileWriter::book(std::string_view name, std::string_view type, std::string_view store,
                         std::int32_t length) {
    book(checked_number(name), type, store, length);
}

void DynFileWriter::book_row(std::int32_t number, std::string_view type, std::string_view store,
                             std::int32_t length) {
    const format::TypeClass* tc = format::type_class(type);
    if (tc == nullptr || type.size() != 2) throw WriteError("unknown type text " + in_quotes(type));
    const format::StoreClass* sc = format::store_class(store);
    if (sc == nullptr || store.size() != 4)
        throw WriteError("unknown store text " + in_quotes(store));
    if (length < 0) throw WriteError("negative length " + std::to_string(length));
    const std::int32_t nwpe = tc->words;

    const format::Numraf numraf = format::numraf_in(numraf_);
    format::advance_counters(numraf, *sc);
    Row& r = rows_[static_cast<std::size_t>(number - 1)];
    r = Row{};
    r.booked = true;
    format::first_booking(r.words(), *tc, nwpe, length, *sc, numraf);
    if (store != format::kScratchText) {
        // Elements of two words start at an odd word, like every array here.
        std::int64_t word = next_word_;
        if ((word - 1) % 2 != 0) ++word;
        const std::int64_t ptr = (word - 1) / nwpe + 1;
        r.words()[RowWord::PointerWord] = static_cast<std::int32_t>(std::min<std::int64_t>(
            ptr / format::kAddressDivisor, std::numeric_limits<std::int32_t>::max()));
        next_word_ = word + static_cast<std::int64_t>(nwpe) * length + kGapWords;
    }
}

std::int32_t DynFileWriter::key(std::int32_t number, std::int32_t step) const {
    if (number < 1 || number > rows()) return 0;
    const Row& r = rows_[static_cast<std::size_t>(number - 1)];
    if (!r.booked) return 0;
    // The file totals NUMRAF(4..6) will be the final counters.
    const format::ConstNumraf numraf = format::numraf_in(numraf_);
    const format::ConstRow row = r.words();
    return format::record_key(
        numraf[NumrafWord::StructureCounter], numraf[NumrafWord::ResultCounter],
        numraf[NumrafWord::RestartCounter], format::kKeyOffset, row[RowWord::StoreCode],
        row[RowWord::StructureIndex], row[RowWord::ResultIndex], row[RowWord::RestartIndex], step);
}

std::int32_t DynFileWriter::key(std::string_view name, std::int32_t step) const {
    return key(number(name), step);
}

const DynFileWriter::Row& DynFileWriter::booked(std::int32_t number, std::string_view what) const {
    if (number < 1 || number > rows() || !rows_[static_cast<std::size_t>(number - 1)].booked) {
        throw WriteError(std::string(what) + ": array " + std::to_string(number) +
                         " is not booked");
    }
    return rows_[static_cast<std::size_t>(number - 1)];
}

std::int32_t DynFileWriter::record_for(std::int32_t number, std::int32_t step,
                                       std::string_view what) const {
    booked(number, what);
    const std::int32_t k = key(number, step);
    if (k <= 0) {
        throw WriteError(std::string(what) + ": array " + std::to_string(number) +
                         " has no record for step " + std::to_string(step));
    }
    if (k > mfpmax_) {
        throw WriteError(std::string(what) + ": record key " + std::to_string(k) + " beyond the " +
                         std::to_string(mfpmax_) + " array numbers of the file (raise max_key)");
    }
    return k;
}

namespace {

std::int32_t count_of(std::size_t n, std::string_view what) {
    if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 2)) {
        throw WriteError(std::string(what) + ": record too long");
    }
    return static_cast<std::int32_t>(n);
}

}  // namespace

void DynFileWriter::put_record(std::int32_t number, std::int32_t step, const std::string& what,
                               std::span<const std::byte> bytes, std::size_t count, Put put) {
    const std::int32_t k = record_for(number, step, what);
    const std::int32_t n = count_of(count, what);
    buffer_.resize(bytes.size() / sizeof(std::int32_t));
    if (!bytes.empty()) std::memcpy(buffer_.data(), bytes.data(), bytes.size());
    writing_ = true;
    std::int32_t ierr = 0;
    put(raf_, buffer_, n, k, options_.unit, ierr);
    check(ierr, what);
}

void DynFileWriter::write_ints(std::int32_t number, std::int32_t step,
                               std::span<const std::int32_t> values) {
    const std::string what = "writing array " + std::to_string(number);
    const Row& r = booked(number, what);
    const std::int32_t type = r.words()[RowWord::Type];
    if (type != 1 && type != 4) throw WriteError(what + ": not an integer array");
    if (type == 4 && values.size() % 2 != 0) {
        throw WriteError(what + ": an I8 array needs two words per element");
    }
    put_record(number, step, what, std::as_bytes(values), values.size(), raflib::RAFPIN);
}

void DynFileWriter::write_floats(std::int32_t number, std::int32_t step,
                                 std::span<const float> values) {
    const std::string what = "writing array " + std::to_string(number);
    const Row& r = booked(number, what);
    const format::ConstRow row = r.words();
    if (row[RowWord::Type] != 2 && !(row[RowWord::Type] == 3 && row[RowWord::RealFlag] == 1)) {
        throw WriteError(what + ": not an SP or RE array");
    }
    put_record(number, step, what, std::as_bytes(values), values.size(), raflib::RAFPRE);
}

void DynFileWriter::write_doubles(std::int32_t number, std::int32_t step,
                                  std::span<const double> values) {
    const std::string what = "writing array " + std::to_string(number);
    const Row& r = booked(number, what);
    const format::ConstRow row = r.words();
    if (row[RowWord::Type] != 3) throw WriteError(what + ": not a DP or RE array");
    if (row[RowWord::RealFlag] == 1) {
        std::vector<float> singles(values.begin(), values.end());
        write_floats(number, step, singles);
        return;
    }
    put_record(number, step, what, std::as_bytes(values), values.size(), raflib::RAFPDP);
}

void DynFileWriter::write_ints(std::string_view name, std::int32_t step,
                               std::span<const std::int32_t> values) {
    write_ints(checked_number(name), step, values);
}

void DynFileWriter::write_floats(std::string_view name, std::int32_t step,
                                 std::span<const float> values) {
    write_floats(checked_number(name), step, values);
}

void DynFileWriter::write_doubles(std::string_view name, std::int32_t step,
                                  std::span<const double> values) {
    write_doubles(checked_number(name), step, values);
}

std::int32_t DynFileWriter::numraf(std::int32_t word) const {
    if (word < 1 || word > format::kNumrafWords) throw WriteError("NUMRAF has words 1 to 20");
    return stored_numraf()[static_cast<std::size_t>(word - 1)];
}

std::array<std::int32_t, store::format::kNumrafWords> DynFileWriter::stored_numraf() const {
    // Words 4-6 are stored as copies of the counters.
    auto stored = numraf_;
    const format::Numraf numraf = format::numraf_in(stored);
    numraf[NumrafWord::FileStructure] = numraf[NumrafWord::StructureCounter];
    numraf[NumrafWord::FileResults] = numraf[NumrafWord::ResultCounter];
    numraf[NumrafWord::FileRestarts] = numraf[NumrafWord::RestartCounter];
    return stored;
}

std::int32_t DynFileWriter::row_word(std::int32_t number, std::int32_t word) const {
    if (number < 1 || number > rows() || word < 1 || word > kRowWords) {
        throw WriteError("no row word " + std::to_string(word) + " of array " +
                         std::to_string(number));
    }
    return rows_[static_cast<std::size_t>(number - 1)].w[static_cast<std::size_t>(word - 1)];
}

NameWords DynFileWriter::name_words(std::int32_t number) const {
    if (number < 1 || number > rows()) throw WriteError("no array " + std::to_string(number));
    return names_words_[static_cast<std::size_t>(number - 1)];
}

void DynFileWriter::set_numraf(std::int32_t word, std::int32_t value) {
    if (word < 1 || word > format::kNumrafWords) throw WriteError("NUMRAF has words 1 to 20");
    numraf_patches_[word] = value;
}

void DynFileWriter::set_row_word(std::int32_t number, std::int32_t word, std::int32_t value) {
    if (number < 1 || number > rows() || word < 1 || word > kRowWords) {
        throw WriteError("no row word " + std::to_string(word) + " of array " +
                         std::to_string(number));
    }
    row_patches_[{number, word}] = value;
}

void DynFileWriter::set_name_words(std::int32_t number, NameWords words) {
    if (number < 1 || number > rows()) throw WriteError("no array " + std::to_string(number));
    name_patches_[number] = words;
}

void DynFileWriter::finish() {
    if (!open_) throw WriteError("the file is closed already");
    const std::int32_t nnum = rows() - 2;
    const auto n_rows = static_cast<std::size_t>(rows());

    const auto stored = stored_numraf();
    std::vector<std::int32_t> numraf(stored.begin(), stored.end());
    for (const auto& [word, value] : numraf_patches_)
        numraf[static_cast<std::size_t>(word - 1)] = value;

    const auto rowlen = static_cast<std::size_t>(options_.row_length);
    std::vector<std::int32_t> keyraf(rowlen * n_rows, 0);
    std::vector<std::int32_t> iarrnm(2 * n_rows, 0);
    for (std::size_t n = 1; n <= n_rows; ++n) {
        auto w = rows_[n - 1].w;
        for (const auto& [at, value] : row_patches_) {
            if (static_cast<std::size_t>(at.first) == n)
                w[static_cast<std::size_t>(at.second - 1)] = value;
        }
        const auto number = static_cast<std::int32_t>(n);
        std::copy_n(w.begin(), std::min(rowlen, w.size()),
                    keyraf.begin() + format::row_offset(number, options_.row_length));
        NameWords nw = names_words_[n - 1];
        if (auto it = name_patches_.find(number); it != name_patches_.end()) nw = it->second;
        format::set_names_in(iarrnm, number, nw);
    }
    const std::array<const std::vector<std::int32_t>*, 3> arrays{&numraf, &keyraf, &iarrnm};
    for (std::int32_t k = 0; k < 3; ++k) {
        const auto& a = *arrays[static_cast<std::size_t>(k)];
        std::int32_t ierr = 0;
        raflib::RAFPIN(raf_, a, static_cast<std::int32_t>(a.size()), key(nnum + k, 0),
                       options_.unit, ierr);
        check(ierr, "writing the catalogue");
    }

    // The file ends with its last data area (a replaced file may have been longer).
    std::int64_t next = 0;
    for (std::int32_t f = 1; f <= raflib::kMaxFiles; ++f) {
        if (raf_.slot(f).unit == options_.unit) next = raf_.slot(f).mfpnxt;
    }
    std::int32_t ierr = 0;
    open_ = false;
    raflib::RAFCLS(raf_, options_.unit, ierr);
    check(ierr, "closing " + in_quotes(path_.string()));
    if (next > 1) {
        std::error_code ec;
        std::filesystem::resize_file(
            path_, static_cast<std::uintmax_t>(next - 1) * raflib::kRecordBytes, ec);
        if (ec) throw WriteError("cannot size " + in_quotes(path_.string()) + ": " + ec.message());
    }
}

}  // namespace tools
