#pragma once
// The agent's two setup records without the operating system: section and key names,
// defaults, how a stored text becomes a number, flag or time, the override flags and
// their transfer list. The ini access itself is agent/SetupRecords.
//
// Both records are untrusted (".info" comes from the network, ".original" from disk):
// every reader here accepts any text and falls back to the key's default.
#include <cstdint>
#include <string>

// ---- Sections and files ----
namespace records {
constexpr const char kOriginalExt[] = ".original";
constexpr const char kOriginalSetup[] = "OriginalSetup";
constexpr const char kDirectories[] = "Directories";
constexpr const char kUnInstall[] = "UnInstall";
constexpr const char kMsgBox[] = "MsgBox";
constexpr const char kAutoUpdate[] = "AutoUpdate";
constexpr const char kNewSetup[] = "NewSetup";
constexpr const char kGeneral[] = "General";
constexpr const char kAutoInform[] = "AutoInform";

// A record file larger than this is read as missing (every key its default).
constexpr std::uint32_t kRecordSizeLimit = 1024 * 1024;

// A written time is mirrored under the key with this prefix as readable text (never read).
constexpr const char kTimeTextPrefix[] = "__";

// The [MsgBox] defaults are those of the installation's texts (lang::kError ...).

// [AutoInform] window size default (pixels).
constexpr int kDefaultInformSize = 360;

// The placeholder in agent texts replaced by a program name (case-sensitive).
constexpr const char kProgNamePlaceholder[] = "PROG_NAME";

// [NewSetup] ShutDownMethod values (compared exactly); any other text leaves the program
// running and only waits for it to end.
constexpr const char kShutDownMessageBox[] = "Issue a Message Box";
constexpr const char kShutDownClose[] = "Using WM_CLOSE";
constexpr const char kShutDownQuit[] = "Using WM_QUIT";
constexpr const char kShutDownTerminate[] = "Using Terminate Process";
constexpr const char kShutDownNone[] = "Don't Shut Down";
}  // namespace records

// Default of an [AutoUpdate] text by its id ("s3" ...); empty for ids without one.
std::string AgentTextDefault(const std::string& id);
// Every "PROG_NAME" (case-sensitive) replaced by name.
std::string ReplaceProgName(const std::string& text, const std::string& name);

// ---- Values ----
// A decimal signed 64-bit number (blanks around it allowed); def for anything else,
// overflow included.
std::int64_t RecordInt64(const std::string& text, std::int64_t def);
// The same for keys used as 32-bit (versions, sizes of windows and fonts): a
// number outside the 32-bit range is no valid value and gives def, rather than being cut
// to an unrelated smaller one.
std::int32_t RecordInt32(const std::string& text, std::int32_t def);
// True only for exactly "1".
bool RecordFlag(const std::string& text);

// ---- Record time: whole seconds since 30 December 1899 00:00 local time ----
// From a date-time (days since that day, fraction = time of day), rounded; a value that
// does not fit (or is not finite) saturates.
std::int64_t RecordSecondsFromDateTime(double dateTime);
// DD-MMM-YYYY HH:NN:SS of a record time; any value gives some text.
std::string RecordTimeText(std::int64_t seconds);
// a + b, held at the int64 limits instead of overflowing.
std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b);

// ---- Override flags O1..O8 ----
// One byte each, 255 = not set (the ".info" flag holds); otherwise 1 = true, else false.
constexpr std::uint8_t kOverrideNotSet = 255;
constexpr int kOverrideCount = 8;
// Overrides are numbered 1..8 (O1..O8).
std::uint8_t Override(int n);
// What O1..O8 set by agent commands may be: O1, O2, O4, O6, O7, O8 with a value 0..255.
// False (nothing changed) for another n or a value outside one byte.
bool SetOverride(int n, std::int64_t value);
// The override's value as a flag, or recordFlag when it is 255. O1 has no record key:
// pass false.
bool FlagWithOverride(int n, bool recordFlag);
// "|" + O1, O2, O4, O6, O7, O8, O3, O5 in decimal, each followed by "|".
std::string OverridesToText();
// Reads a transfer list item by item in that order; an item that is missing, empty, not
// a number or outside 0..255 keeps that override's current value.
void OverridesFromText(const std::string& text);
