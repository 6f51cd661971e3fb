#pragma once
// Progress reporting for transfers and the extraction: a reporter that knows nothing
// about windows (TProgBar) and the process-wide driver that moves the main window's
// progress and activity bars (ProgressCallback).
#include <string>

// Driver kinds: 0 = set range (min, max, position, step), 1 = one step done (text).
using TProgDriver = void (*)(int kind, int min, int max, int position, int step, const std::string& text);

class TProgBar {
public:
  explicit TProgBar(TProgDriver driver);
  virtual ~TProgBar();  // Finish(0, 0)
  TProgBar(const TProgBar&) = delete;
  TProgBar& operator=(const TProgBar&) = delete;

  // Each call pumps the message queue once before and once after notifying the driver.
  void SetRange(int position, int max);
  void SetText(const std::string& text);
  // Pauses waitBefore ms, resets the range to 0..0, pauses waitAfter ms.
  void Finish(int waitBefore, int waitAfter);
  // Pumps once; the stub's driver shows no caption.
  void SetCaption(const std::string& text);

  TProgDriver Driver;
};

// The process-wide reporter, created on first use with ProgressCallback as its driver.
TProgBar& EnsureProgBar();

// Drives the main window's progress control (kind 0: range min..max (32-bit), position,
// step; kind 1: one step) and its activity control (cycles 1..5, 0 per step).
// Does nothing while the main window has no such controls. Steps are counted at once and
// reach the controls at most every 30 ms (ShowProgressWhenDue) or when ShowProgressNow
// is called; a range (kind 0) is set at once.
void ProgressCallback(int kind, int min, int max, int position, int step, const std::string& text);

// Hands steps that ProgressCallback still holds to the bars when 30 ms have passed since
// the last time (long work calls it with each pump pass).
void ShowProgressWhenDue();
// Hands them over now and paints both bars: before a message box, a pause or the engine.
void ShowProgressNow();
