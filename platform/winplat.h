// The few services of the windowing platform the plug-in uses: a modal
// message box, a growable text buffer for its texts, and the standard
// file-save dialog. The host routes all three to its own user interface.
#pragma once

#include <cstddef>

#define PLATFORM_EXPORT extern "C"

typedef void* HWND;

#define MB_OK 0x00000000u
#define IDOK 1
#define IDCANCEL 2

// Shows `text` titled `caption` with a single OK button and returns IDOK
// once the user has closed it. `owner` must be NULL.
PLATFORM_EXPORT int MessageBoxA(HWND owner, const char* text, const char* caption,
                                unsigned int type);

// Growable, zero-terminated byte string. The plug-in's texts are code page
// 1251 bytes; the buffer does not care.
class TextBuffer {
 public:
  TextBuffer();
  explicit TextBuffer(const char* text);
  TextBuffer(const TextBuffer& other);
  TextBuffer& operator=(const TextBuffer& other);
  TextBuffer& operator=(const char* text);
  ~TextBuffer();

  const char* c_str() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  operator const char*() const { return data_; }

 private:
  void assign(const char* text, std::size_t n);
  char* data_;
  std::size_t size_;
};

// File dialog flags and the layout size the dialog is built with.
#define OFN_HIDEREADONLY 0x00000004u
#define OPENFILENAME_SIZE_VERSION_400 76u

// The standard file dialog. `save` chooses save mode; `filter` has the form
// "Name|pattern|Name|pattern||".
class SaveFileDialog {
 public:
  SaveFileDialog(bool open_mode, const char* default_ext, const char* file_name,
                 unsigned int flags, const char* filter, HWND owner, unsigned int struct_size);
  ~SaveFileDialog();
  SaveFileDialog(const SaveFileDialog&) = delete;
  SaveFileDialog& operator=(const SaveFileDialog&) = delete;

  // Modal. IDOK when the user chose a file, IDCANCEL otherwise.
  int DoModal();
  // The full path of the chosen file, with the default extension added to a
  // name typed without one. Empty before DoModal returned IDOK.
  TextBuffer GetPathName() const;

 private:
  bool open_mode_;
  TextBuffer default_ext_;
  TextBuffer file_name_;
  unsigned int flags_;
  TextBuffer filter_;
  unsigned int struct_size_;
  TextBuffer path_;
};
