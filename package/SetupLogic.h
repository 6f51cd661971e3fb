#pragma once
// The parts of the install flow that need no operating system: the engine's command
// line, the names shared with the engine, the space question's text and sizes.
#include <cstdint>
#include <string>

// Exit codes of a stub whose installation did not run (the engine's own code is handed
// on otherwise). The user declined (space question, volume prompt) ...
constexpr std::uint32_t kExitInstallCancelled = 1602;
// ... or the installation was refused or failed before the engine ran: damaged or
// missing package, bad checksum, no engine in the package, engine that cannot start.
constexpr std::uint32_t kExitInstallFailed = 1603;

// Names shared with the setup engine; the token is "_" + the stub's thread id.
constexpr const char kEngineAtomPrefix[] = "AutoUpdateAtomTokenByZorvik";
constexpr const char kEngineDialogClassPrefix[] = ".SDialog_Class_Name.";
std::string ThreadToken(std::uint32_t threadId);

// Megabytes with 1 decimal above 10, 2 decimals from 1, 3 below 1; negative counts as 0.
std::string SizeText(double bytes);

// Deletes the switch's first occurrence (exact case) with its value and the blanks after
// it, up to the next "/" (a value holding "/" is cut there).
std::string RemoveSwitch(const std::string& commandLine, const std::string& switchName);

// The engine's file name in an engine entry: the trimmed text before "*", or the entry.
std::string EngineName(const std::string& engineEntry);

// The engine's command line: engine entry ("name" or "name*args"), the caller's
// arguments, the stub's token and path, the agent switch; the span switches removed.
std::string EngineCommandLine(const std::string& folder, const std::string& engineEntry,
                              const std::string& arguments, const std::string& token,
                              const std::string& stubPath, bool autoUpdateProg);

// The space question's text with its placeholders filled in; empty when no question is
// needed (no temp note and enough room).
struct SpaceTexts {
  std::string note;       // s2
  std::string limited;    // s3
  std::string required;   // s4
  std::string available;  // s5
  std::string proceed;    // s6
};
std::string SpaceQuestionText(const SpaceTexts& texts, const std::string& folder, bool showTempNote,
                              double needed, double free);

// The download question's "<SIZE>" (exact case, every occurrence) replaced by SizeText of
// the web stub's size in bytes (a size that is not a number counts as 0).
std::string WebConfirmText(const std::string& question, const std::string& webSize);

// The most bytes the web install downloads: twice the web stub's size plus 1 MB, so that a
// setup file signed or rebuilt after its web stub was made still arrives, while a server
// that announces or sends gigabytes for it is stopped; largestSetupFile (the package's, or
// its default) when the stub carries no size, and never more than that.
std::uint64_t WebDownloadLimit(const std::string& webSize, std::uint64_t largestSetupFile);

// The web stub's copy of itself as the agent: whatever follows PackEnd (a signature) is
// cut off, since the agent byte lies inside the signed bytes and a kept signature could
// never verify; the trailer's ThisIsAgent byte (five bytes before PackEnd, or before the
// end when PackEnd is not inside the image) is set. A signer record (the web stub's own
// publisher, SignerRecord) follows the package then, with PackEnd set to hold it apart.
std::string WebAgentImage(std::string image, const std::string& signerRecord = std::string());
