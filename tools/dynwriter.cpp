#include "tools/dynwriter.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

#include "io/text.h"
#include "store/store.h"

namespace tools {

namespace {

constexpr std::int32_t kKeyOffset = 100;  // NUMRAF(10): record key offset
constexpr std::int32_t kDivisor = 100;    // NUMRAF(11): address divisor
constexpr std::int32_t kNameLength = 8;   // NUMRAF(9)
constexpr std::int32_t kRowWords = 10;    // words of a row kept here
// Where the writing program's data manager hands out its first array, and
// the words it leaves between two arrays (word 10 of a row is only a
// plausible pointer / 100; no reader uses it).
constexpr std::int64_t kFirstWord = 111;
constexpr std::int64_t kGapWords = 2;

std::string upper(std::string_view s) {
    std::string t(s);
    for (char& c : t) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return t;
}

bool scratch(std::string_view store_text) {
    return upper(io::fixed(store_text, 4)) == "SCRA";
}

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
    if (s.empty() || s.size() > 8) {
        throw WriteError("illegal name " + in_quotes(name) + ": 1 to 8 characters are needed");
    }
    constexpr std::array<std::int32_t, 4> kWeights{1000000, 10000, 100, 1};
    NameWords w;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 33 || c > 126) {
            throw WriteError("illegal name " + in_quotes(name) + ": character code " +
                             std::to_string(c) + " outside 33..126");
        }
        (i < 4 ? w.first : w.second) += (static_cast<std::int32_t>(c) - 30) * kWeights[i % 4];
    }
    return w;
}

std::int32_t mfp_size(std::int64_t max_key) {
    const std::int64_t n = std::max<std::int64_t>(max_key, kKeyOffset + 3);
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

    numraf_[6] = options_.row_length;
    numraf_[7] = rows();
    numraf_[8] = kNameLength;
    numraf_[9] = kKeyOffset;
    numraf_[10] = kDivisor;
    next_word_ = kFirstWord;
    const std::int64_t keyraf_words = static_cast<std::int64_t>(options_.row_length) * rows();
    if (keyraf_words > std::numeric_limits<std::int32_t>::max()) {
        throw WriteError("KEYRAF too long");
    }
    book_row(nnum, "IN", "-AR-", 20);
    book_row(nnum + 1, "IN", "-AR-", static_cast<std::int32_t>(keyraf_words));
    book_row(nnum + 2, "IN", "-AR-", 2 * rows());
    // Room for the catalogue ahead of every data area; finish() fills it.
    for (std::int32_t n = nnum; n <= nnum + 2; ++n) {
        buffer_.assign(static_cast<std::size_t>(row_word(n, 3)), 0);
        std::int32_t jerr = 0;
        raflib::RAFPIN(raf_, buffer_, row_word(n, 3), key(n, 0), options_.unit, jerr);
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
    const std::int32_t tc = store::type_code(type);
    if (tc == 0 || type.size() != 2) throw WriteError("unknown type text " + in_quotes(type));
    const std::int32_t sc = store::store_code(store);
    if (sc < 0 || store.size() != 4) throw WriteError("unknown store text " + in_quotes(store));
    if (length < 0) throw WriteError("negative length " + std::to_string(length));
    const std::int32_t nwpe = store::words_per_element(type);

    // The counters a first booking advances.
    const bool stru = sc == 1 || sc == 4 || sc == 5 || sc == 11 || sc == 13 || sc == 50 || sc == 51;
    const bool res = sc == 3 || sc == 5;
    const bool rest = sc == 2 || sc == 4;
    if (stru) ++numraf_[0];
    if (res) ++numraf_[1];
    if (rest) ++numraf_[2];

    Row& r = rows_[static_cast<std::size_t>(number - 1)];
    r = Row{};
    r.booked = true;
    r.w[0] = tc;
    r.w[1] = nwpe;
    r.w[2] = length;
    r.w[3] = sc;
    if (sc != 0) {
        r.w[4] = numraf_[0];
        r.w[5] = numraf_[1];
        r.w[6] = numraf_[2];
    }
    r.w[7] = type == "RE" ? 1 : 0;
    if (!scratch(store)) {
        // Elements of two words start at an odd word, like every array here.
        std::int64_t word = next_word_;
        if ((word - 1) % 2 != 0) ++word;
        const std::int64_t ptr = (word - 1) / nwpe + 1;
        r.w[9] = static_cast<std::int32_t>(
            std::min<std::int64_t>(ptr / kDivisor, std::numeric_limits<std::int32_t>::max()));
        next_word_ = word + static_cast<std::int64_t>(nwpe) * length + kGapWords;
    }
}

std::int32_t DynFileWriter::key(std::int32_t number, std::int32_t step) const {
    if (number < 1 || number > rows()) return 0;
    const Row& r = rows_[static_cast<std::size_t>(number - 1)];
    if (!r.booked) return 0;
    return store::record_key(numraf_[0], numraf_[1], numraf_[2], kKeyOffset, r.w[3], r.w[4], r.w[5],
                             r.w[6], step);
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

void DynFileWriter::write_ints(std::int32_t number, std::int32_t step,
                               std::span<const std::int32_t> values) {
    const std::string what = "writing array " + std::to_string(number);
    const Row& r = booked(number, what);
    if (r.w[0] != 1 && r.w[0] != 4) throw WriteError(what + ": not an integer array");
    if (r.w[0] == 4 && values.size() % 2 != 0) {
        throw WriteError(what + ": an I8 array needs two words per element");
    }
    const std::int32_t k = record_for(number, step, what);
    const std::int32_t count = count_of(values.size(), what);
    writing_ = true;
    std::int32_t ierr = 0;
    raflib::RAFPIN(raf_, values, count, k, options_.unit, ierr);
    check(ierr, what);
}

void DynFileWriter::write_floats(std::int32_t number, std::int32_t step,
                                 std::span<const float> values) {
    const std::string what = "writing array " + std::to_string(number);
    const Row& r = booked(number, what);
    if (r.w[0] != 2 && !(r.w[0] == 3 && r.w[7] == 1)) {
        throw WriteError(what + ": not an SP or RE array");
    }
    const std::int32_t k = record_for(number, step, what);
    const std::int32_t count = count_of(values.size(), what);
    buffer_.resize(values.size());
    if (!values.empty()) std::memcpy(buffer_.data(), values.data(), values.size_bytes());
    writing_ = true;
    std::int32_t ierr = 0;
    raflib::RAFPRE(raf_, buffer_, count, k, options_.unit, ierr);
    check(ierr, what);
}

void DynFileWriter::write_doubles(std::int32_t number, std::int32_t step,
                                  std::span<const double> values) {
    const std::string what = "writing array " + std::to_string(number);
    const Row& r = booked(number, what);
    if (r.w[0] != 3) throw WriteError(what + ": not a DP or RE array");
    if (r.w[7] == 1) {
        std::vector<float> singles(values.begin(), values.end());
        write_floats(number, step, singles);
        return;
    }
    const std::int32_t k = record_for(number, step, what);
    const std::int32_t count = count_of(values.size(), what);
    buffer_.resize(2 * values.size());
    if (!values.empty()) std::memcpy(buffer_.data(), values.data(), values.size_bytes());
    writing_ = true;
    std::int32_t ierr = 0;
    raflib::RAFPDP(raf_, buffer_, count, k, options_.unit, ierr);
    check(ierr, what);
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
    if (word < 1 || word > 20) throw WriteError("NUMRAF has words 1 to 20");
    // Words 4-6 are stored as copies of the counters.
    if (word >= 4 && word <= 6) return numraf_[static_cast<std::size_t>(word - 4)];
    return numraf_[static_cast<std::size_t>(word - 1)];
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
    if (word < 1 || word > 20) throw WriteError("NUMRAF has words 1 to 20");
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

    std::vector<std::int32_t> numraf(numraf_.begin(), numraf_.end());
    for (std::size_t k = 3; k < 6; ++k) numraf[k] = numraf_[k - 3];
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
        std::copy_n(w.begin(), std::min(rowlen, w.size()), keyraf.begin() + (n - 1) * rowlen);
        NameWords nw = names_words_[n - 1];
        if (auto it = name_patches_.find(static_cast<std::int32_t>(n)); it != name_patches_.end())
            nw = it->second;
        iarrnm[2 * n - 2] = nw.first;
        iarrnm[2 * n - 1] = nw.second;
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
