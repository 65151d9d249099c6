#include "reader/series_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <sstream>
#include <utility>

#include "io/text.h"
#include "io/two_cores.h"
#include "io/units.h"
#include "raflib/layout.h"
#include "raflib/state.h"
#include "reader/gathering.h"
#include "reader/record_runs.h"
#include "store/format.h"
#include "store/store.h"

namespace reader {

namespace {

constexpr std::int64_t kRecordBytes = raflib::kRecordBytes;
constexpr std::int64_t kRecordWords = raflib::kRecordWords;
constexpr std::int64_t kEntriesPerPage = raflib::kPageEntries;
constexpr std::int64_t kPageBytes = 2 * kRecordBytes;
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;  // one read of a run
constexpr int kEndOfFile = -1;

// Reads buf.size() bytes at offset: 0, the errno of a failed read, or
// kEndOfFile when the file ends first. Touches nothing else (it runs on the
// helper thread too).
int read_fully(int fd, std::int64_t offset, std::span<std::byte> buf) {
    std::size_t done = 0;
    while (done < buf.size()) {
        const ssize_t n = ::pread(fd, buf.data() + done, buf.size() - done,
                                  static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return kEndOfFile;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}
// Reads `bytes` bytes at offset into the vectors: 0, the errno of a failed
// read, or kEndOfFile. A short read goes on where it stopped.
int readv_fully(int fd, std::int64_t offset, std::vector<iovec>& iov, std::size_t bytes) {
    std::size_t done = 0;
    std::size_t first = 0;  // the first vector not yet filled
    while (done < bytes) {
        const ssize_t got = ::preadv(fd, iov.data() + first, static_cast<int>(iov.size() - first),
                                     static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return kEndOfFile;
        done += static_cast<std::size_t>(got);
        // Past the vectors filled, and into the one filled in part.
        auto left = static_cast<std::size_t>(got);
        while (first < iov.size() && left >= iov[first].iov_len) left -= iov[first++].iov_len;
        if (left > 0) {
            iov[first].iov_base = static_cast<std::byte*>(iov[first].iov_base) + left;
            iov[first].iov_len -= left;
        }
    }
    return 0;
}

constexpr std::int64_t kMfpChunkPages = 256;  // MFP pages per read
constexpr float kEmptySlotTime = 1.0E-10f;
constexpr std::int32_t kThisComputer = 14;  // PC / DIGITAL Visual Fortran
constexpr std::int32_t kTypeInteger = 1;
constexpr std::int32_t kTypeReal = 2;
constexpr std::int32_t kTypeDouble = 3;  // DP, or RE (single on file) with the real-flag 1
constexpr std::int32_t kTypeLong = 4;    // I8: two integer words per element on file
constexpr std::size_t kLabelWords = 256;
constexpr std::int32_t kBlank = 32;

// Key positions (1-based) and field widths.
constexpr std::size_t kPosVersion = 9;
constexpr std::size_t kPosType = 57;
constexpr std::size_t kPosLock = 109;
constexpr std::size_t kPosIntegers = 117;

std::int32_t swap32(std::int32_t w) {
    return static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(w)));
}

// The label of one DynRes as the classic listing prints it.
std::string listed_label(std::span<const std::int32_t> words) {
    std::array<std::int32_t, kLabelWords> buf{};
    buf.fill(kBlank);
    std::size_t j = 0;
    bool after_blank = false;
    for (const std::int32_t w : words.first(std::min(words.size(), kLabelWords))) {
        if (w == kBlank) {
            if (after_blank) continue;
            after_blank = true;
        } else {
            after_blank = false;
        }
        buf[j++] = w;
    }
    std::string text;
    for (std::size_t i = 0; i < words.size() && i < kLabelWords; ++i) {
        if (buf[i] == 0) break;
        text += static_cast<char>(static_cast<unsigned char>(buf[i] & 0xFF));
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool decode(const std::string& key, std::size_t pos, std::size_t width, std::int32_t& value) {
    return raflib::decode_field(std::string_view(key).substr(pos - 1, width), value) == 0;
}

std::string computer_name(std::int32_t type) {
    std::istringstream in;
    std::ostringstream out;
    io::Units quiet(in, out, "/dev/null");
    raflib::Raflib raf(quiet);
    return std::string(io::trim(raflib::computer_name(raf, type)));
}

}  // namespace

SeriesReader::SeriesReader() = default;

SeriesReader::~SeriesReader() {
    close_file();
}

SeriesReader::SeriesReader(SeriesReader&& o) noexcept {
    *this = std::move(o);
}

SeriesReader& SeriesReader::operator=(SeriesReader&& o) noexcept {
    if (this != &o) {
        close_file();
        fd_ = std::exchange(o.fd_, -1);
        file_size_ = o.file_size_;
        swap_ = o.swap_;
        problem_ = std::exchange(o.problem_, Problem::NotOpen);
        error_ = std::exchange(o.error_, "no file opened");
        ndynres_ = o.ndynres_;
        records_ = o.records_;
        slots_ = o.slots_;
        capacity_ = o.capacity_;
        record_words_ = o.record_words_;
        record_span_ = o.record_span_;
        runs_ = std::move(o.runs_);
        labels_ = std::move(o.labels_);
        have_summary_ = o.have_summary_;
        summary_ = o.summary_;
    }
    return *this;
}

void SeriesReader::close_file() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool SeriesReader::fail(Problem p, std::string text) {
    problem_ = p;
    error_ = std::move(text);
    close_file();
    return false;
}

bool SeriesReader::read_at(std::int64_t offset, std::span<std::byte> buf) {
    const int status = read_fully(fd_, offset, buf);
    return status == 0 || read_failed(status);
}

bool SeriesReader::read_failed(int status) {
    return fail(status == kEndOfFile ? Problem::Truncated : Problem::ReadError,
                read_status_text(status));
}

std::string SeriesReader::read_status_text(int status) {
    if (status == kEndOfFile) {
        return "truncated: the file ended while it was being read (changed by another "
               "program?)";
    }
    return std::string("read error: ") + std::strerror(status);
}

bool SeriesReader::read_words(std::int64_t record, std::span<std::int32_t> words) {
    if (!read_at((record - 1) * kRecordBytes, std::as_writable_bytes(words))) return false;
    if (swap_) {
        for (auto& w : words) w = swap32(w);
    }
    return true;
}

float SeriesReader::lower_bound_of(double first) {
    if (std::isnan(first)) return std::numeric_limits<float>::quiet_NaN();
    if (first < -static_cast<double>(std::numeric_limits<float>::max()))
        return -std::numeric_limits<float>::infinity();
    if (first > static_cast<double>(std::numeric_limits<float>::max()))
        return std::numeric_limits<float>::infinity();
    return static_cast<float>(first);
}

float SeriesReader::upper_bound_of(double last) {
    return lower_bound_of(last);
}

bool SeriesReader::open(const std::filesystem::path& path) {
    close_file();
    *this = SeriesReader();
    problem_ = Problem::None;
    error_.clear();

    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        const int e = errno;
        if (e == ENOENT) return fail(Problem::Missing, "missing: no such file");
        return fail(Problem::CannotOpen, std::string("cannot open: ") + std::strerror(e));
    }
    struct stat sb {};
    if (::fstat(fd_, &sb) != 0)
        return fail(Problem::CannotOpen, std::string("cannot open: ") + std::strerror(errno));
    if (S_ISDIR(sb.st_mode)) return fail(Problem::CannotOpen, "cannot open: is a directory");
    if (!S_ISREG(sb.st_mode)) return fail(Problem::CannotOpen, "cannot open: not a regular file");
    file_size_ = static_cast<std::int64_t>(sb.st_size);

    // ---- the key ----
    if (file_size_ < raflib::kKeyLength) {
        return fail(Problem::NotDynFile, "not a dyn file: shorter than a RAFLIB key (" +
                                             std::to_string(file_size_) + " bytes)");
    }
    std::string key(raflib::kKeyLength, ' ');
    if (!read_at(0, std::as_writable_bytes(std::span<char>(key)))) return false;
    if (key.compare(0, 8, "RAFLIB  ") != 0)
        return fail(Problem::NotDynFile, "not a dyn file: no RAFLIB key");
    const auto damaged_key = [&](const std::string& what) {
        return fail(Problem::Damaged, "damaged: the file key has " + what);
    };
    std::int32_t version = 0, l1 = 0, l2 = 0, ftype = 0;
    if (!decode(key, kPosVersion, 4, version)) return damaged_key("an unreadable format version");
    if (version > 2) {
        return fail(Problem::NewerVersion, "newer format version " + std::to_string(version) +
                                               ": this program reads versions 0 to 2");
    }
    if (version < 0) return damaged_key("the format version " + std::to_string(version));
    if (!decode(key, kPosLock, 4, l1) || !decode(key, kPosLock + 4, 4, l2))
        return damaged_key("unreadable lock fields");
    std::array<std::int32_t, 7> ints{};  // MFPADR MFPMAX MFPCUR MFPNXT CHKRS1 CHKRS2 MFPLEN
    constexpr std::array<std::size_t, 7> kWidths{8, 8, 8, 8, 8, 4, 8};
    for (std::size_t i = 0, pos = kPosIntegers; i < ints.size(); pos += kWidths[i], ++i) {
        if (!decode(key, pos, kWidths[i], ints[i])) return damaged_key("an unreadable MFP field");
    }
    const std::int64_t mfpadr = ints[0], mfpmax = ints[1], mfpcur = ints[2], mfpnxt = ints[3];
    if (mfpadr <= 1) return damaged_key("MFPADR = " + std::to_string(mfpadr));
    if (mfpmax <= 0) return damaged_key("MFPMAX = " + std::to_string(mfpmax));
    if (mfpcur < 0 || mfpcur > mfpmax) return damaged_key("MFPCUR = " + std::to_string(mfpcur));
    if (mfpnxt <= mfpadr) return damaged_key("MFPNXT = " + std::to_string(mfpnxt));
    if (!decode(key, kPosType, 4, ftype)) return damaged_key("an unreadable computer type");
    switch (raflib::byte_order_rule(kThisComputer, ftype)) {
        case raflib::ByteOrder::Same:
            break;
        case raflib::ByteOrder::Swap:
            swap_ = true;
            break;
        case raflib::ByteOrder::Refused: {
            const std::string name = computer_name(ftype);
            return fail(Problem::ForeignType,
                        "cannot read files generated on " +
                            (name.empty() ? "computer type " + std::to_string(ftype) : name));
        }
    }
    // Lock state 2 (first lock field set, second clear): reads are refused.
    if (l1 != 0 && l2 == 0) return fail(Problem::Locked, "locked: the file is read locked");

    // ---- MFP entries ----
    // A version-0 file keeps the entry of array 64*i (i = 1 .. n) as entry
    // 64 of page i + 1; it is read there, the file is not converted.
    const std::int64_t old_pages = version == 0 ? mfpmax / kEntriesPerPage - 1 : 0;
    struct Entry {
        std::int32_t address = 0, type = 0, allocated = 0, current = 0;
    };
    const auto page_offset = [&](std::int64_t page) {
        return (mfpadr - 1 + 2 * (page - 1)) * kRecordBytes;
    };
    const auto page_inside = [&](std::int64_t page) {
        return page_offset(page) + kPageBytes <= file_size_;
    };
    const auto truncated_mfp = [&] {
        return fail(Problem::Truncated, "truncated: the MFP ends beyond the end of the file (" +
                                            std::to_string(file_size_) + " bytes)");
    };
    const auto entry_of = [&](std::int64_t a, Entry& e) {
        if (a < 1 || a > mfpmax) {
            return fail(Problem::Damaged, "damaged: array " + std::to_string(a) +
                                              " lies outside the MFP (MFPMAX " +
                                              std::to_string(mfpmax) + ")");
        }
        std::int64_t page = (a - 1) / kEntriesPerPage + 1;
        std::int64_t pos = (a - 1) % kEntriesPerPage;
        if (a % kEntriesPerPage == 0 && a / kEntriesPerPage <= old_pages) {
            page = a / kEntriesPerPage + 1;
            pos = kEntriesPerPage - 1;
        }
        if (!page_inside(page)) return truncated_mfp();
        std::array<std::int32_t, 4> w{};
        if (!read_at(page_offset(page) + pos * 16, std::as_writable_bytes(std::span(w))))
            return false;
        if (swap_) {
            for (auto& x : w) x = swap32(x);
        }
        e = {w[0], w[1], w[2], w[3]};
        return true;
    };
    // The checks of a read of `count` elements of `type` from the entry of
    // array a (`what` names it in the messages).
    const auto check_entry = [&](const Entry& e, std::int32_t type, std::int64_t count,
                                 const std::string& what) {
        if (e.address == 0) return fail(Problem::Damaged, "damaged: " + what + " is not stored");
        if (e.address < 0 || e.type != type || count < e.current || count > e.allocated) {
            return fail(Problem::Damaged, "damaged: the MFP entry of " + what +
                                              " does not match "
                                              "the catalogue");
        }
        if ((static_cast<std::int64_t>(e.address) - 1) * kRecordBytes + count * 4 > file_size_) {
            return fail(Problem::Truncated, "truncated: " + what +
                                                " ends beyond the end of the file (" +
                                                std::to_string(file_size_) + " bytes)");
        }
        return true;
    };
    const auto read_array = [&](std::int64_t a, std::int32_t type, std::int64_t count,
                                const std::string& what, std::vector<std::int32_t>& out) {
        Entry e;
        if (!entry_of(a, e) || !check_entry(e, type, count, what)) return false;
        out.assign(static_cast<std::size_t>(count), 0);
        return read_words(e.address, out);
    };

    // ---- the catalogue ----
    namespace format = store::format;
    using format::NumrafWord;
    using format::RowWord;
    std::vector<std::int32_t> numraf, keyraf, iarrnm;
    if (!read_array(format::kNumrafKey, kTypeInteger, format::kNumrafWords,
                    "the catalogue (NUMRAF)", numraf))
        return false;
    const format::ConstNumraf counters = format::numraf_in(std::as_const(numraf));
    if (counters[NumrafWord::KeyOffset] != format::kKeyOffset ||
        counters[NumrafWord::RowLength] != format::kRowLength || counters[NumrafWord::Rows] < 1)
        return fail(Problem::Damaged, "damaged: the catalogue (NUMRAF) is inconsistent");
    const std::int32_t rows = counters[NumrafWord::Rows];
    if (!read_array(format::kKeyrafKey, kTypeInteger, std::int64_t{rows} * format::kRowLength,
                    "the catalogue (KEYRAF)", keyraf) ||
        !read_array(format::kIarrnmKey, kTypeInteger, 2 * std::int64_t{rows},
                    "the catalogue (IARRNM)", iarrnm)) {
        return false;
    }
    struct Row {
        std::int32_t type = 0, length = 0, store = 0, real = 0;
        std::array<std::int32_t, format::kRowLength> words{};
    };
    const auto row_of = [&](std::string_view name, Row& r) {
        const format::NameWords wanted = format::pack_name(name).value_or(format::NameWords{});
        for (std::int32_t j = 1; j <= rows; ++j) {
            const format::NameWords names = format::names_in(iarrnm, j);
            if (names == format::NameWords{} || names != wanted) continue;
            const format::ConstRow row =
                format::row_in(std::as_const(keyraf), j, format::kRowLength);
            std::copy(row.words().begin(), row.words().end(), r.words.begin());
            r.type = row[RowWord::Type];
            r.length = row[RowWord::Length];
            r.store = row[RowWord::StoreCode];
            r.real = row[RowWord::RealFlag];
            if (r.type != 0) return true;
            break;
        }
        return fail(Problem::NotDynFile,
                    "not a dyn file: no " + std::string(name) + " array in the catalogue");
    };
    const auto key_for = [&](const Row& r, std::int64_t step) {
        return static_cast<std::int64_t>(format::record_key(
            counters, format::ConstRow(std::span(r.words)), static_cast<std::int32_t>(step)));
    };
    // Store codes that the recall of the structure, control and result
    // groups brings in.
    const auto recalled = [](std::int32_t code) {
        const format::StoreClass* c = format::store_class(code);
        return c != nullptr && (c->recall & (format::kRecallStructure | format::kRecallControl |
                                             format::kRecallResult)) != 0;
    };
    const auto structure_array = [&](std::string_view name, std::vector<std::int32_t>& out) {
        Row r;
        if (!row_of(name, r)) return false;
        const std::int64_t k = key_for(r, 1);
        if (!recalled(r.store) || k == 0)
            return fail(Problem::NotDynFile, "not a dyn file: " + std::string(name) +
                                                 " is not stored with the structure data");
        if (r.type != kTypeInteger || r.length < 0)
            return fail(Problem::Damaged,
                        "damaged: " + std::string(name) + " is not catalogued as an integer array");
        return read_array(k, kTypeInteger, r.length, std::string(name), out);
    };
    std::vector<std::int32_t> mstru, icdynr;
    if (!structure_array("MSTRU", mstru) || !structure_array("ICDYNR", icdynr)) return false;
    Row dynres;
    if (!row_of("DYNRES", dynres)) return false;
    // The classic operations recall every array of their name list that the
    // catalogue keeps with the structure, control or result data (step 1):
    // one that cannot be read refuses the file there, and here.
    for (const std::string_view name : gathering::kNameList) {
        if (name.empty()) continue;
        // Found by its name, as the store finds it; an array the catalogue
        // does not name is not recalled.
        const format::NameWords wanted = format::pack_name(name).value_or(format::NameWords{});
        std::int32_t n = 0;
        for (std::int32_t j = 1; j <= rows && n == 0; ++j)
            if (format::names_in(iarrnm, j) == wanted) n = j;
        if (n == 0) continue;
        const format::ConstRow row = format::row_in(std::as_const(keyraf), n, format::kRowLength);
        if (row[RowWord::Type] == 0 || !recalled(row[RowWord::StoreCode])) continue;
        Row r;
        std::copy(row.words().begin(), row.words().end(), r.words.begin());
        r.type = row[RowWord::Type];
        r.length = row[RowWord::Length];
        r.store = row[RowWord::StoreCode];
        r.real = row[RowWord::RealFlag];
        const std::int64_t first_key = key_for(r, 1);
        if (first_key == 0) continue;
        const std::string what = std::string(name) + " (step 1)";
        if (r.length < 0)
            return fail(Problem::Damaged, "damaged: " + what + " has a negative length");
        // The recall books the array by the type its code names: a code
        // that names none refuses the file there.
        if (store::words_per_element(store::type_text_of(r.type, r.real)) == 0)
            return fail(Problem::Damaged, "damaged: " + what + " has the unknown type code " +
                                              std::to_string(r.type));
        Entry e;
        if (!entry_of(first_key, e)) return false;
        bool ok = true;
        if (r.type == kTypeInteger) {
            ok = check_entry(e, kTypeInteger, r.length, what);
        } else if (r.type == kTypeReal || (r.type == kTypeDouble && r.real == 1)) {
            ok = check_entry(e, kTypeReal, r.length, what);  // single precision on file
        } else if (r.type == kTypeDouble) {
            ok = check_entry(e, kTypeDouble, r.length, what);
            if (ok && (std::int64_t{e.address} - 1) * kRecordBytes + 8 * std::int64_t{r.length} >
                          file_size_) {
                return fail(Problem::Truncated, "truncated: " + what +
                                                    " ends beyond the end of the file (" +
                                                    std::to_string(file_size_) + " bytes)");
            }
        } else if (r.type == kTypeLong) {
            ok = check_entry(e, kTypeInteger, 2 * std::int64_t{r.length}, what);
        }
        if (!ok) return false;
    }

    // ---- structure parameters ----
    std::istringstream no_input;
    std::ostringstream no_output;
    // A damaged parameter table may name its own message unit: its default
    // file (fort.N) resolves below /dev/null, where no file can be created,
    // so the reader never writes a file.
    io::Units quiet(no_input, no_output, "/dev/null");
    std::int32_t jerr = 0;
    constexpr std::int32_t kSilent = 0;  // message unit that prints nothing
    const std::int32_t loadst = store::GTSTRU(quiet, mstru, "LOADST", kSilent, jerr);
    const std::int32_t ndynres = store::GTSTRU(quiet, mstru, "nDynRes", kSilent, jerr);
    std::int32_t ncol = store::GTSTRU(quiet, mstru, "nCol   ", kSilent, jerr);
    store::GTSTRU(quiet, mstru, "nDRStep", kSilent, jerr);
    if (jerr != 0) return fail(Problem::Damaged, "damaged: MSTRU lacks the DynRes parameters");
    // The classic operations store LSTSTO and IXACT before gathering; a
    // parameter table without room for them fails there, and here.
    gathering::store_switches(quiet, mstru, loadst, kSilent, jerr);
    if (jerr != 0) return fail(Problem::Damaged, "damaged: MSTRU has no room for LSTSTO, IXACT");
    // From here on the rules of the classic gathering (reader/gathering.h)
    // decide which steps exist, with the parameters as it reads them back.
    const gathering::Parameters par = gathering::read_parameters(quiet, mstru, kSilent, jerr);
    if (jerr != 0) return fail(Problem::Damaged, "damaged: MSTRU lacks the DynRes parameters");
    gathering::Layout lay;
    if (const auto v = gathering::check_parameters(par, lay); !v.ok())
        return fail(Problem::Damaged, v.reason());
    if (ndynres != par.ndynres) {
        // Storing LSTSTO or IXACT overwrote nDynRes: the listing and the
        // records would disagree on the DynRes.
        return fail(Problem::Damaged, "damaged: nDynRes changes from " + std::to_string(ndynres) +
                                          " to " + std::to_string(par.ndynres) +
                                          " when LSTSTO and IXACT are stored");
    }
    if (const auto v = gathering::check_file_size(lay, file_size_); !v.ok())
        return fail(v.truncation() ? Problem::Truncated : Problem::Damaged, v.reason());
    ndynres_ = ndynres;
    records_ = lay.records;
    slots_ = lay.slots;
    capacity_ = lay.capacity;

    // ---- labels ----
    if (ncol == 0) {
        Row r;
        row_of("ICDYNR", r);
        ncol = r.length / ndynres;
    }
    if (ncol < 1 || ncol > static_cast<std::int32_t>(kLabelWords) ||
        static_cast<std::int64_t>(ncol) * ndynres > static_cast<std::int64_t>(icdynr.size())) {
        return fail(Problem::Damaged,
                    "damaged: labels of " + std::to_string(ncol) + " words do not fit ICDYNR");
    }
    labels_.reserve(static_cast<std::size_t>(ndynres));
    for (std::int32_t k = 0; k < ndynres; ++k) {
        labels_.push_back(listed_label(std::span<const std::int32_t>(icdynr).subspan(
            static_cast<std::size_t>(k) * static_cast<std::size_t>(ncol),
            static_cast<std::size_t>(ncol))));
    }

    // ---- the DYNRES records ----
    if (dynres.type != kTypeReal || dynres.real != 0)
        return fail(Problem::Damaged, "damaged: DYNRES is not catalogued as single precision");
    record_words_ = dynres.length;
    // The gathering checks the record of the first step it reads.
    if (records_ > 0) {
        if (const auto v = gathering::check_record(lay, 1, record_words_); !v.ok())
            return fail(Problem::Damaged, v.reason());
    }
    record_span_ = std::max<std::int64_t>(1, raflib::records_for(record_words_));
    // The recall of the result data reads step 1 even when no step is gathered.
    const std::int64_t checked = std::max<std::int64_t>(records_, recalled(dynres.store) ? 1 : 0);
    if (checked == 0) return true;
    const std::int64_t key1 = key_for(dynres, 1);
    const std::int64_t keyn = key_for(dynres, checked);
    if (key1 == 0) return fail(Problem::NotDynFile, "not a dyn file: DYNRES has no step records");
    if (key1 < 0 || keyn < 0 || keyn > mfpmax) {
        return fail(Problem::Damaged, "damaged: the DYNRES record of step " +
                                          std::to_string(checked) + " lies outside the MFP");
    }
    const std::int64_t key_step = checked > 1 ? key_for(dynres, 2) - key1 : 0;
    if (const auto v = gathering::check_keys(lay, key1, key1 + key_step); !v.ok())
        return fail(Problem::Damaged, v.reason());
    const auto step_text = [](std::int64_t d) {
        return "the DYNRES record of step " + std::to_string(d);
    };
    // The entries of every step, read page range by page range.
    std::vector<std::int32_t> pages;
    std::int64_t first_page = 0, last_page = -1;
    for (std::int64_t d = 1; d <= checked; ++d) {
        const std::int64_t a = key1 + (d - 1) * key_step;
        Entry e;
        if (a % kEntriesPerPage == 0 && a / kEntriesPerPage <= old_pages) {
            if (!entry_of(a, e)) return false;
        } else {
            const std::int64_t page = (a - 1) / kEntriesPerPage + 1;
            if (page < first_page || page > last_page) {
                if (!page_inside(page)) return truncated_mfp();
                const std::int64_t end_page = std::max(page, (keyn - 1) / kEntriesPerPage + 1);
                first_page = page;
                last_page = std::min(page + kMfpChunkPages - 1, end_page);
                while (last_page > page && !page_inside(last_page)) --last_page;
                pages.assign(
                    static_cast<std::size_t>((last_page - first_page + 1) * kPageBytes / 4), 0);
                if (!read_at(page_offset(first_page), std::as_writable_bytes(std::span(pages))))
                    return false;
                if (swap_) {
                    for (auto& x : pages) x = swap32(x);
                }
            }
            const auto at = static_cast<std::size_t>((page - first_page) * kPageBytes / 4 +
                                                     ((a - 1) % kEntriesPerPage) * 4);
            e = {pages[at], pages[at + 1], pages[at + 2], pages[at + 3]};
        }
        if (!check_entry(e, kTypeReal, record_words_, step_text(d))) return false;
        if (d > records_) break;
        // Runs of records at one distance are read together.
        const std::int64_t address = e.address;
        if (extend_last_run(runs_, address, record_span_)) continue;
        runs_.push_back({d - 1, 1, address, record_span_});
    }
    return true;
}

std::span<std::byte> ReadBuffers::get(std::size_t i, std::size_t bytes) {
    Block& b = blocks_.at(i);
    if (b.size < bytes) {
        // Default-initialised: the pages are touched by the reads that fill
        // them, never filled here.
        b.data.reset();
        b.size = 0;
        b.data.reset(new std::byte[bytes]);
        b.size = bytes;
    }
    return {b.data.get(), bytes};
}

std::size_t ReadBuffers::held() const {
    std::size_t total = 0;
    for (const Block& b : blocks_) total += b.size;
    return total;
}

std::optional<std::int64_t> SeriesReader::count_hint(Window window) {
    if (problem_ != Problem::None || slots_ != 1) return std::nullopt;
    const float lo = lower_bound_of(window.first);
    const float hi = upper_bound_of(window.last);
    if (std::isnan(lo) || std::isnan(hi)) return std::nullopt;
    const std::int64_t steps = std::max<std::int64_t>(0, std::min(records_, capacity_));
    if (steps == 0 || lo > hi) return 0;
    if (std::isinf(lo) && lo < 0 && std::isinf(hi) && hi > 0) return steps;
    bool failed = false;
    const auto time_of = [&](std::int64_t step) {
        // The run holding the step (runs_ in step order).
        const auto run =
            std::upper_bound(runs_.begin(), runs_.end(), step,
                             [](std::int64_t s, const Run& r) { return s < r.first_step; }) -
            1;
        std::array<std::int32_t, 1> w{};
        if (!read_words(run->address + (step - run->first_step) * run->distance, w)) {
            failed = true;
            return 0.0f;
        }
        return std::bit_cast<float>(w[0]);
    };
    // The first step at or above `bound` (strictly above when `above`).
    const auto first_step = [&](float bound, bool above) {
        std::int64_t a = 0;
        std::int64_t b = steps;
        while (a < b && !failed) {
            const std::int64_t mid = a + (b - a) / 2;
            const float t = time_of(mid);
            if (above ? t > bound : t >= bound) {
                b = mid;
            } else {
                a = mid + 1;
            }
        }
        return a;
    };
    const std::int64_t from = first_step(lo, false);
    const std::int64_t to = first_step(hi, true);
    if (failed) return std::nullopt;
    return std::max<std::int64_t>(0, to - from);
}

std::optional<std::int64_t> SeriesReader::direct_count() const {
    if (problem_ != Problem::None || slots_ != 1) return std::nullopt;
    // Data areas that overlap (a damaged MFP) cannot be read apart.
    const std::int64_t row_bytes = (static_cast<std::int64_t>(ndynres_) + 1) * 4;
    for (const Run& r : runs_) {
        if (r.count > 1 && r.distance * kRecordBytes < row_bytes) return std::nullopt;
    }
    return std::max<std::int64_t>(0, std::min(records_, capacity_));
}

int SeriesReader::read_steps(std::int64_t from, std::int64_t n, int first, int count, float* t,
                             float* x) const {
    if (!direct_count() || from < 0 || n < 0 || from + n > *direct_count() || first < 1 ||
        count < 0 || first + count - 1 > ndynres_)
        return EINVAL;
    if (n == 0) return 0;
    // Per step: its time, the words before DynRes `first` (to the scratch
    // area), its values, and the rest of its records up to the next step's
    // (to the scratch area); one preadv takes the steps of a run up to the
    // vector's limit.
    const auto head = static_cast<std::size_t>(first - 1) * 4;
    const auto row = static_cast<std::size_t>(count) * 4;
    std::vector<iovec> iov;
    std::vector<std::byte> scratch;
    const std::int64_t end = from + n;
    auto run = std::upper_bound(runs_.begin(), runs_.end(), from,
                                [](std::int64_t s, const Run& r) { return s < r.first_step; }) -
               1;
    for (std::int64_t step = from; step < end;) {
        const std::int64_t in_run = std::min(end, run->first_step + run->count) - step;
        const auto stride = static_cast<std::size_t>(run->distance * kRecordBytes);
        const std::size_t tail = stride - 4 - head - row;
        scratch.resize(std::max({scratch.size(), head, tail, std::size_t{1}}));
        constexpr std::int64_t kStepsPerRead = IOV_MAX / 4;
        for (std::int64_t done = 0; done < in_run;) {
            const std::int64_t take = std::min(kStepsPerRead, in_run - done);
            iov.clear();
            std::size_t bytes = 0;
            for (std::int64_t i = 0; i < take; ++i) {
                const auto at = static_cast<std::size_t>(step + done + i - from);
                iov.push_back({t + at, 4});
                if (head > 0) iov.push_back({scratch.data(), head});
                if (row > 0) iov.push_back({x + at * static_cast<std::size_t>(count), row});
                if (i + 1 < take && tail > 0) iov.push_back({scratch.data(), tail});
                bytes += 4 + head + row + (i + 1 < take ? tail : 0);
            }
            const std::int64_t record =
                run->address + (step + done - run->first_step) * run->distance;
            if (const int status = readv_fully(fd_, (record - 1) * kRecordBytes, iov, bytes);
                status != 0)
                return status;
            done += take;
        }
        step += in_run;
        ++run;
    }
    if (swap_) {
        const auto bswap = [](float& f) {
            f = std::bit_cast<float>(__builtin_bswap32(std::bit_cast<std::uint32_t>(f)));
        };
        for (std::int64_t i = 0; i < n; ++i) bswap(t[i]);
        for (std::int64_t i = 0; i < n * count; ++i) bswap(x[i]);
    }
    return 0;
}

bool SeriesReader::stream(Window window, const RowSink& sink, ReadBuffers* buffers) {
    if (problem_ != Problem::None) return false;
    const float lo = lower_bound_of(window.first);
    const float hi = upper_bound_of(window.last);
    const std::size_t slot_words = static_cast<std::size_t>(ndynres_) + 1;
    const std::int64_t used_words = slots_ * static_cast<std::int64_t>(slot_words);
    const std::size_t span_bytes = static_cast<std::size_t>(record_span_ * kRecordBytes);
    const std::size_t buffer_bytes = std::max(kBufferBytes, span_bytes);
    std::int64_t taken = 0;  // steps gathered so far (at most the capacity)
    bool done = capacity_ <= 0;

    const std::vector<RunRead> pieces =
        cut_runs(runs_, buffer_bytes / 4, span_bytes / 4, record_words_);
    // Large pieces are read on two cores (the reads only fill buffers; the
    // rows go to the sink in order on this thread). Each of the (at most
    // five) buffers takes its own block of `pool` when first used, on the
    // thread that fills it.
    ReadBuffers local;
    ReadBuffers& pool = buffers != nullptr ? *buffers : local;
    std::atomic<std::size_t> next_block{0};
    struct Buffer {
        std::span<std::byte> bytes;
        int status = 0;  // of its read, as read_fully gives it
    };
    io::TwoCores<Buffer> reader(
        pieces.size(),
        [&](std::size_t c, Buffer& b) {
            const RunRead& p = pieces[c];
            if (b.bytes.empty()) {
                try {
                    b.bytes = pool.get(next_block.fetch_add(1), buffer_bytes);
                } catch (const std::bad_alloc&) {
                    b.status = ENOMEM;
                    return true;
                }
            }
            b.status = read_fully(fd_, (p.record - 1) * kRecordBytes, b.bytes.first(p.words * 4));
            return true;
        },
        worth_two_cores(pieces));

    // Hands the steps of `count` rows from `first`, `row_words` apart, to the
    // sink in runs inside the window: a step before it is left out, the
    // first after it (or the capacity reached) ends the stream. In a packed
    // record a slot after the first whose time is below kEmptySlotTime ends
    // the record.
    const auto scan = [&](const float* first, std::size_t row_words, std::int64_t count) {
        std::int64_t from = 0;  // first row of the pending run
        std::int64_t r = 0;
        for (; r < count; ++r) {
            const float t = first[static_cast<std::size_t>(r) * row_words];
            if (slots_ > 1 && r > 0 && t < kEmptySlotTime) break;
            if (taken == capacity_ || t > hi) {
                done = true;
                break;
            }
            ++taken;
            if (t < lo) {
                if (r > from)
                    sink(Rows{first + static_cast<std::size_t>(from) * row_words, row_words,
                              static_cast<std::size_t>(r - from)});
                from = r + 1;
            }
        }
        if (r > from)
            sink(Rows{first + static_cast<std::size_t>(from) * row_words, row_words,
                      static_cast<std::size_t>(r - from)});
    };

    for (std::size_t c = 0; c < pieces.size() && !done; ++c) {
        Buffer& b = *reader.get(c);
        if (b.status != 0) return read_failed(b.status);
        const std::int64_t n = pieces[c].count;
        const std::size_t stride = pieces[c].stride;
        auto* base = reinterpret_cast<float*>(b.bytes.data());
        if (swap_) {
            // Through float only: the rows are read as floats below.
            for (std::int64_t r = 0; r < n; ++r) {
                float* w = base + static_cast<std::size_t>(r) * stride;
                for (std::int64_t k = 0; k < used_words; ++k) {
                    w[k] =
                        std::bit_cast<float>(__builtin_bswap32(std::bit_cast<std::uint32_t>(w[k])));
                }
            }
        }
        if (slots_ == 1) {
            // One step per record: rows at the records' distance.
            scan(base, stride, n);
        } else {
            for (std::int64_t r = 0; r < n && !done; ++r)
                scan(base + static_cast<std::size_t>(r) * stride, slot_words, slots_);
        }
    }
    return true;
}

bool SeriesReader::read(std::span<const int> dynres, Window window, Series& out,
                        ReadBuffers* buffers) {
    out.times.clear();
    out.values.assign(dynres.size(), {});
    if (problem_ != Problem::None) return false;
    for (const int k : dynres) {
        if (k < 1 || k > ndynres_) {
            error_ = "DynRes " + std::to_string(k) + " does not exist (the file has " +
                     std::to_string(ndynres_) + ")";
            return false;
        }
    }
    // Reserved, not touched: only the samples written become resident.
    const auto most =
        static_cast<std::size_t>(std::max<std::int64_t>(0, std::min(capacity_, records_ * slots_)));
    out.times.reserve(most);
    for (auto& v : out.values) v.reserve(most);
    return stream(
        window,
        [&](const Rows& rows) {
            for (std::size_t i = 0; i < rows.count; ++i) {
                const float* row = rows.row(i);
                out.times.push_back(row[0]);
                for (std::size_t c = 0; c < dynres.size(); ++c)
                    out.values[c].push_back(row[dynres[c]]);
            }
        },
        buffers);
}

bool SeriesReader::summary(Summary& out) {
    if (problem_ != Problem::None) return false;
    if (!have_summary_) {
        Summary s;
        if (slots_ == 1) {
            s.steps = std::min(records_, capacity_);
            if (s.steps > 0) {
                // The first and the last record's times.
                std::array<std::int32_t, 1> w{};
                if (!read_words(runs_.front().address, w)) return false;
                s.first_time = std::bit_cast<float>(w[0]);
                const Run& last = runs_.back();
                if (!read_words(last.address + (last.count - 1) * last.distance, w)) return false;
                s.last_time = std::bit_cast<float>(w[0]);
            }
        } else {
            const bool ok = stream({}, [&](const Rows& rows) {
                if (rows.count == 0) return;
                if (s.steps == 0) s.first_time = rows.time(0);
                s.steps += static_cast<std::int64_t>(rows.count);
                s.last_time = rows.time(rows.count - 1);
            });
            if (!ok) return false;
        }
        summary_ = s;
        have_summary_ = true;
    }
    out = summary_;
    return true;
}

}  // namespace reader
