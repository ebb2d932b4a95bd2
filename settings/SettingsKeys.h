#pragma once

#include <string_view>

namespace pelmora::settings {

// The keys of the two profile files, all in section [EXEINI]. They are the files' format: other
// copies of the program read the same files, so the names never change.

inline constexpr std::string_view kSection = "EXEINI";

// ini.ini: the preferences, the mail program and whether new mail starts it.
inline constexpr std::string_view kHangUpKey = "NUMBER";         // hang up after each check
inline constexpr std::string_view kIntervalKey = "NUMBER2";      // the check interval, minutes
inline constexpr std::string_view kLaunchFlagKey = "NUMBER3";    // new mail starts the mail program
inline constexpr std::string_view kBoardAutoEraseKey = "NUMBER4"; // the board closes after a second
inline constexpr std::string_view kMailProgramKey = "NAME";      // the mail program's path

// iniIdPass.ini: the account.
inline constexpr std::string_view kAccountIdKey = "NAME";
inline constexpr std::string_view kAccountPasswordKey = "NAME2";
inline constexpr std::string_view kAccountSavedKey = "NAME3"; // whether OK saved the account

} // namespace pelmora::settings
