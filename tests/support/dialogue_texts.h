// The fixed texts of the pektor dialogue that the tests expect: the start-up
// banner and menu, the operation banners, the prompts and the closing lines.
#pragma once

#include <string>

namespace test_support {

inline const std::string kDashes = "---------------------------------------------\n";

// An operation's banner around its title line.
inline std::string banner(const std::string& title) {
    return "\n\n" + kDashes + title + "\n" + kDashes + "\n";
}

inline const std::string kTitle1 = "----       Maximum from one dyn file.    ----";
inline const std::string kTitle2 = "----       Maxima  from two dyn files.   ----";
inline const std::string kTitle3 = "----       Statistics of Time Series.    ----";
inline const std::string kTitle4 = "----       Combination of Time Series.   ----";
inline const std::string kTitle5 = "----       Vector Length of Time Series. ----";

// The start-up banner, the operations menu and the first prompt.
inline const std::string kStartAndMenu =
    "\n\n\n\n"
    "---------------------------------------------\n"
    "---------------------------------------------\n"
    "----                                     ----\n"
    "----             P E K T O R             ----\n"
    "----                                     ----\n"
    "----      Finds maxima of Plot Data      ----\n"
    "----             extracted from          ----\n"
    "----           TAVRO dyn  files.         ----\n"
    "----                                     ----\n"
    "----             Version 1.4-01          ----\n"
    "----     PEKTOR team,  December 2026     ----\n"
    "----                                     ----\n"
    "---------------------------------------------\n"
    "---------------------------------------------\n"
    "\n\n"
    "---------------------------------------------\n"
    "----       Available Operations.         ----\n"
    "----                                     ----\n"
    "----       Maximum of for one file   :1  ----\n"
    "----       Maxima     for two files      ----\n"
    "----       and compute ratio         :2  ----\n"
    "----       Statistics for one TS     :3  ----\n"
    "----       Combination of several TS :4  ----\n"
    "----       Vector length of two   TS :5  ----\n"
    "---------------------------------------------\n"
    " Select  Operation (see above)     :  ";

// The sign convention menu and its prompt.
inline const std::string kSign =
    "\n\n"
    "---------------------------------------------\n"
    "----       Sign Convension.              ----\n"
    "----                                     ----\n"
    "----       Peak Maximum            :  1  ----\n"
    "----       Peak Minimum            : -1  ----\n"
    "----       Max Peak of Abs(Value)  :  0  ----\n"
    "----       Peak Abs wiht sign      : -2  ----\n"
    "---------------------------------------------\n"
    " Select  Sign Convension           :  ";

inline const std::string kAskDyn = " Give dyn File Name  (incl extens) :  ";
inline const std::string kAskRef = " Give Reference dyn File (incl ext):  ";
inline const std::string kAskSecond = " Give Second    dyn File (incl ext):  ";
inline const std::string kAskOut = " Give Output File Name             :  ";
inline const std::string kAskWindow = " Give First/Last time of TS /whole/:  ";
inline const std::string kAskDynRes = "  \n Give Dynres Number                :  ";

inline const std::string kCompletion =
    "\n\n" + kDashes + "----       Successfully  Completed       ----\n" + kDashes + "\n";

// The last console line of a job that failed.
inline const std::string kFailedReturn = "\n Return value from pektor: -1 \n";

}  // namespace test_support
