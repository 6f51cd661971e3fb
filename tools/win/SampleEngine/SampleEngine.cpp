// A small setup engine that honours the stub's engine contract:
//   - reads the thread token from "/TH_ID=" (e.g. "_1234");
//   - while it works, shows a window of class ".SDialog_Class_Name." + token (the stub
//     waits until no such window is left);
//   - when its work is done, deletes the global atom "AutoUpdateAtomTokenByZorvik" + token
//     (the stub's sign that the installation finished);
//   - ends with its exit code, which the stub hands on.
// Its work: copies every file beside it (the extracted package, sub-folders included,
// itself excepted) into the target folder, keeping the files' dates.
//
// Switches of its own (any case; values may be quoted):
//   /Target=FOLDER   where to install (default C:\ZorvikSample)
//   /Record=FILE     where to record what it saw (default: the target folder + ".log")
//   /ExitCode=N      exit code (default 0; 1 with /Fail)
//   /KeepAtom        leave the atom in place (the stub then reports an unfinished run)
//   /Fail            install nothing and keep the atom
//   /WorkMs=N        keep the dialog up N ms longer (a long installation)
//   /CountOnly       count the files beside it as Installed without copying them (a
//                    package of very many files)
//
// The record is a text file of "key=value" lines: CommandLine, Token, AtomFound (the
// stub's atom existed at the start), ShowCommand (the show state it was started with),
// EngineFolder, Target, Installed (files copied), AtomDeleted.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string Lower(std::string text) {
  for (char& ch : text)
    if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
  return text;
}

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

// The value of "/name=" in the command line: up to the next " /", quotes removed.
bool SwitchValue(const std::string& commandLine, const std::string& name, std::string& value) {
  std::string lower = Lower(commandLine), key = " /" + Lower(name) + "=";
  std::size_t at = (" " + lower).find(key);
  if (at == std::string::npos) return false;
  std::size_t start = at + key.size() - 1;  // position in commandLine
  std::size_t end = commandLine.find(" /", start);
  std::string raw = commandLine.substr(start, end == std::string::npos ? std::string::npos : end - start);
  value.clear();
  for (char ch : raw)
    if (ch != '"') value += ch;
  value = Trim(value);
  return true;
}

bool HasBareSwitch(const std::string& commandLine, const std::string& name) {
  return (" " + Lower(commandLine) + " ").find(" /" + Lower(name) + " ") != std::string::npos;
}

std::string ModuleFolder() {
  char path[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string text = path;
  return text.substr(0, text.find_last_of('\\'));
}

std::string ModulePath() {
  char path[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  return path;
}

void MakeFolders(const std::string& folder) {
  for (std::size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1))
    CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Copies the tree below from (relative path rel) into to (unless only counting); counts the files.
void CopyTree(const std::string& from, const std::string& to, const std::string& rel, const std::string& self,
              bool copy, int& count) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((from + "\\" + rel + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    std::string source = from + "\\" + rel + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CopyTree(from, to, rel + name + "\\", self, copy, count);
    } else if (Lower(source) != Lower(self) && !copy) {
      ++count;
    } else if (Lower(source) != Lower(self)) {
      std::string target = to + "\\" + rel + name;
      MakeFolders(target.substr(0, target.find_last_of('\\')));
      if (CopyFileA(source.c_str(), target.c_str(), FALSE)) ++count;
      Pump();
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  const std::string commandLine = GetCommandLineA();
  std::string token, target = "C:\\ZorvikSample", record, value;
  SwitchValue(commandLine, "TH_ID", token);
  if (SwitchValue(commandLine, "Target", value) && !value.empty()) target = value;
  while (target.size() > 3 && target.back() == '\\') target.pop_back();
  record = target + ".log";
  if (SwitchValue(commandLine, "Record", value) && !value.empty()) record = value;
  const bool fail = HasBareSwitch(commandLine, "Fail");
  const bool copy = !HasBareSwitch(commandLine, "CountOnly");
  const bool keepAtom = fail || HasBareSwitch(commandLine, "KeepAtom");
  int exitCode = fail ? 1 : 0;
  if (SwitchValue(commandLine, "ExitCode", value)) exitCode = std::atoi(value.c_str());
  int workMs = 0;
  if (SwitchValue(commandLine, "WorkMs", value)) workMs = std::atoi(value.c_str());

  const std::string atomName = "AutoUpdateAtomTokenByZorvik" + token;
  const bool atomFound = GlobalFindAtomA(atomName.c_str()) != 0;

  // The dialog the stub waits for.
  const std::string className = ".SDialog_Class_Name." + token;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = className.c_str();
  RegisterClassExA(&wc);
  HWND dialog = CreateWindowExA(0, className.c_str(), "Sample Setup", WS_OVERLAPPED | WS_CAPTION, CW_USEDEFAULT,
                                CW_USEDEFAULT, 360, 120, nullptr, nullptr, instance, nullptr);
  ShowWindow(dialog, showCommand);
  Pump();

  int installed = 0;
  if (!fail) {
    MakeFolders(target);
    CopyTree(ModuleFolder(), target, "", ModulePath(), copy, installed);
  }
  for (DWORD start = GetTickCount(); int(GetTickCount() - start) < workMs;) {
    Pump();
    Sleep(20);
  }

  bool atomDeleted = false;
  if (!keepAtom) {
    ATOM atom = GlobalFindAtomA(atomName.c_str());
    if (atom) {
      GlobalDeleteAtom(atom);
      atomDeleted = true;
    }
  }
  std::ofstream out(record, std::ios::binary | std::ios::trunc);
  out << "CommandLine=" << commandLine << "\r\n"
      << "Token=" << token << "\r\n"
      << "AtomFound=" << (atomFound ? 1 : 0) << "\r\n"
      << "ShowCommand=" << showCommand << "\r\n"
      << "EngineFolder=" << ModuleFolder() << "\r\n"
      << "Target=" << target << "\r\n"
      << "Installed=" << installed << "\r\n"
      << "AtomDeleted=" << (atomDeleted ? 1 : 0) << "\r\n";
  out.close();

  if (dialog) DestroyWindow(dialog);
  UnregisterClassA(className.c_str(), instance);
  return exitCode;
}
