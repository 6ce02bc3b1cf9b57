// The skin layer's least behaviour: the window asks it to load a skin file
// beside the executable. Without a usable skin every window keeps the
// standard drawing, and nothing is shown to the user.
#pragma once

namespace tavik {

class SkinFramework {
 public:
  void AddApplyOptions(unsigned options) { applyOptions_ |= options; }
  unsigned applyOptions() const { return applyOptions_; }
  // Looks for `fileName` beside the executable; true when a skin was loaded
  // and applies. No skin format is read yet, so a present file also leaves
  // the standard drawing. `iniSection` may be null.
  bool LoadSkin(const wchar_t* fileName, const wchar_t* iniSection);
  bool loaded() const { return loaded_; }

 private:
  unsigned applyOptions_ = 0;
  bool loaded_ = false;
};

// The process's one skin layer.
SkinFramework& Skin();

}  // namespace tavik
