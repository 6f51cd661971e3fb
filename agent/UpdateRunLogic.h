#pragma once
// What the update and the inform decide without the OS: the questions, the message after
// a failed fetch, the name a download is kept under beside the agent and the agent's
// restart command.
#include <string>
#include <vector>

// The agent's texts the questions are made of, by id ("s11" ... "s20").
struct UpdateQuestionTexts {
  std::string s11, s12, s13, s14, s18, s19, s20;
};

// Download question: s11 + (s13 when the install is confirmed too, else s12); when the
// download question is forced, s19 / s18 by the same test. "PROG_NAME" becomes programName.
std::string DownloadQuestion(const UpdateQuestionTexts& texts, bool confirmInstall, bool forced,
                             const std::string& programName);
// Install question: s14, or s20 when forced.
std::string InstallQuestion(const UpdateQuestionTexts& texts, bool forced, const std::string& programName);

// After a failed fetch (source longer than 2 characters, confirmations on): s3 when the
// user aborted; s4 + "<P><P>" + source for a drive or network path; else s5 + "<P><P>" +
// source. Empty when no message is due (source of 2 characters or fewer).
std::string FetchFailureMessage(bool aborted, const std::string& source, const std::string& s3,
                                const std::string& s4, const std::string& s5);

// The name a published file (NameOfUpdateFile, NameOfInformFile) is kept under beside the
// agent: its file-name part. Empty, with reason, when the name climbs (a ".." component
// anywhere), names a device, is only dots or blanks, holds a wildcard, stream or control
// character, ends in a dot or blank (which Windows drops), or is one of the agent's own
// files (reserved, compared without case; give long and 8.3 names) or their name without
// its extensions ("Pad" for "Pad.info"), which a download must never replace.
std::string LocalCopyName(const std::string& publishedName, const std::vector<std::string>& reserved,
                          std::string* reason = nullptr);
// The name the news text (NameOfInformFile) is kept under beside the agent: LocalCopyName,
// and a plain text name (".txt", any case). Any other name could leave a script, a
// manifest, a library or a settings file of the product beside it, so it is refused.
std::string LocalInformName(const std::string& publishedName, const std::vector<std::string>& reserved,
                            std::string* reason = nullptr);

// The command that starts the freshly installed agent (quoted path) after an update:
// " /_ZZ=99 /WAIT=10 /TRANSIENT=" + the transfer list of the overrides.
std::string AgentRestartCommand(const std::string& folderWithBackslash, const std::string& agentName,
                                const std::string& transferList);
