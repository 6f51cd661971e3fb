# Source lists shared by the native and the Windows build.
# Portable code: no <windows.h>; built natively (with sanitizers) and for Windows.
set(Z_PORTABLE_SOURCES
  system/ZSub.cpp
  system/Utils.cpp
  system/CommandLine.cpp
  system/ZDebug.cpp
  system/FilesLogic.cpp
  system/ProcessLogic.cpp
  driver/StubLogic.cpp
  package/PackX.cpp
  package/UnPackLogic.cpp
  package/ZLibOpen.cpp
  internet/CommUtils.cpp
  ui/Markup.cpp
  ui/SLangId.cpp
  ui/LangStrings.cpp
  ui/InformLayout.cpp
  internet/InetHTTPLogic.cpp
  package/SetupLogic.cpp
  agent/SetupRecordsLogic.cpp
  agent/DecisionLogic.cpp
  agent/AgentStateLogic.cpp
  agent/ShutDownLogic.cpp
  package/SignerRuleLogic.cpp
  agent/UpdateRunLogic.cpp
  folders/ShellDirLogic.cpp
  folders/RunTimeDir.cpp
  folders/VariablesLogic.cpp
)

# Native stand-ins for the platform pieces of portable units (no viewer natively).
set(Z_NATIVE_ONLY_SOURCES
  system/ZDebugNative.cpp
  ui/SLangIdNative.cpp
)
# ... and their Windows counterparts, linked into the same library.
set(Z_WINDOWS_PLATFORM_SOURCES
  system/ZDebugWin.cpp
  ui/SLangIdWin.cpp
)

# Code that talks to Win32; built only for Windows.
set(Z_WINDOWS_SOURCES
  system/Win64.cpp
  system/WinUtils.cpp
  system/DllSafety.cpp
  system/Files.cpp
  system/ProcessViewer.cpp
  system/ExecPipe.cpp
  system/Process.cpp
  system/Pump.cpp
  ui/ZMsgBox.cpp
  ui/StatusView.cpp
  ui/StubInformDlg.cpp
  driver/StubGlob.cpp
  driver/StubWin.cpp
  package/PackXWin.cpp
  package/UnPack.cpp
  internet/ZProgBar.cpp
  internet/InetHTTP.cpp
  package/StubSetup.cpp
  agent/SetupRecords.cpp
  agent/AgentCommands.cpp
  agent/InfoFetch.cpp
  agent/AgentTick.cpp
  driver/AgentCopy.cpp
  agent/ShutDown.cpp
  package/SignerRule.cpp
  agent/DownloadToken.cpp
  agent/UpdateRun.cpp
  folders/ShellDir.cpp
  folders/Variables.cpp
)

# The stub's entry point and resources.
set(Z_STUB_MAIN driver/Stub.cpp)
set(Z_STUB_RESOURCES res/ZStub.rc)
