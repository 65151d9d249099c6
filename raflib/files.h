// RAFLIB files: starting the library, opening an existing file, creating a
// file, writing back its bookkeeping and closing it.
//
// Calling order: RAFINI; RAFCLS on the unit (harmless if not open); RAFOLD or
// RAFNEW; any number of array calls; RAFCLS.
//
// The flag (ierr): 0 on success; otherwise the message number, negative after
// a printed ERROR or FATAL ERROR and positive after an INFO or WARNING (for
// example 1012 "No RAFLIB file open with this number" from RAFCLS) or a
// message whose level prints nowhere. Each call overwrites the flag.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "io/units.h"
#include "raflib/state.h"

namespace raflib {

// Starts the library: version 2 revision 1, the message units (WARNING,
// ERROR and FATAL ERROR on msgunit, INFO nowhere; 0 prints nothing), the
// level texts and markers, iwfile = 0 and the machine description. The
// open-file table is left as it is. No flag.
void RAFINI(Raflib& raf, std::int32_t msgunit);

// Opens the existing file `name` (up to 255 characters used; blank:
// rafNNN.raf) on unit and initialises it from its key. On success name holds
// the name used. ierr: 0, or the message number (1034 cannot open, 1020 not
// a RAFLIB file, 1029 too new, 1060-1064 bad key, 1070 foreign, 1037/1038
// unit in use or too many files), negative when printed as an ERROR.
void RAFOLD(Raflib& raf, std::int32_t unit, std::string& name, std::int32_t& ierr);

// Creates a file with room for maxarr array numbers. status is judged by its
// first letter: N/n NEW, O/o OLD, U/u UNKNOWN. With OLD or UNKNOWN an existing
// file is initialised afresh. ierr as RAFOLD.
void RAFNEW(Raflib& raf, std::int32_t unit, std::string& name, std::string_view status,
            std::int32_t maxarr, std::int32_t& ierr);

// Writes the dirty MFP pages and the key of the file on unit. ierr: 0 or the
// write failure's message number.
void RAFUPD(Raflib& raf, std::int32_t unit, std::int32_t& ierr);

// Closes the file on unit, writing back its pending changes first. A unit
// that is not an initialised RAFLIB file is no error (ierr 1012, positive).
void RAFCLS(Raflib& raf, std::int32_t unit, std::int32_t& ierr);

// True when the file at path is an existing regular file that starts with a
// RAFLIB key ("RAFLIB  " in its first record), that is, a dyn file. Reads at
// most the first eight bytes and writes nothing; the file is not opened
// through the library.
bool looks_like_raflib_file(const std::filesystem::path& path);

// ---- internal steps ----

// Removes leading (and trailing) blanks; a blank name becomes rafNNN.raf.
void RFFNAM(std::string& name, std::int32_t unit);

// Takes a slot and opens the unit (direct access, 512-byte records).
void RFFIOP(Raflib& raf, std::string_view name, std::int32_t unit, io::OpenStatus status,
            std::int32_t& ierr);

// Reads and checks the key of the file opened on unit; converts a version-0
// file.
void RFIOLD(Raflib& raf, std::int32_t unit, std::int32_t& ierr);

// Writes the key and the empty MFP of a new file opened on unit.
void RFINEW(Raflib& raf, std::int32_t unit, std::int32_t maxarr, std::int32_t& ierr);

// Makes the initialised file on unit current and clears the array context.
void RFFINO(Raflib& raf, std::int32_t unit, std::int32_t& ierr);

// Reads / writes the key records of the current file.
void RFGKEY(Raflib& raf, std::int32_t& ierr);
void RFPKEY(Raflib& raf, std::int32_t& ierr);

// Converts the MFP of a version-0 file (current slot) to version 2.
void RFCVER(Raflib& raf, std::int32_t version, std::int32_t revision, std::int32_t& ierr);

// May this computer write the current file?
void RFCHKW(Raflib& raf, std::int32_t& ierr);

// Updates the access state of the current file after a read (op 2) or an
// allocate or write (op 0, 1).
void RFACCS(Raflib& raf, std::int32_t op);

}  // namespace raflib
