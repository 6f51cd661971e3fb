#pragma once
// What a probe leads to: the update (fetch the new setup file, ask, stop the program,
// install, record the version, restart the program and the agent) or the inform (fetch
// the news and show it).

// The whole update; true when the new setup ran successfully. Traces
// " ==== PerformAutoUpdate-4 ====" ... "-13". RunningProcess is stopped and restarted
// only when IsAllowedRunningProcess accepts it (else the update is not run); a stop
// requested while waiting for the program ends the update before the install.
bool PerformAutoUpdate();

// After a successful update: starts the freshly installed agent file
// (" /_ZZ=99 /WAIT=10 /TRANSIENT=" + the overrides) and ends this instance, unless a stop
// is pending.
void ReStartAutoUpdateExe();

// The news: fetches NameOfInformFile from DownloadURL_UPDATE and shows it (ShowInform);
// true when something was shown, and then VersionNew is recorded.
bool PerformAutoInform();
