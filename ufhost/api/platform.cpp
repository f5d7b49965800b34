// libwinplat: the windowing platform's message box, text buffer and file
// dialog, routed to the host's user interface. The plug-in's texts are code
// page 1251 bytes; they are converted to UTF-8 before anybody sees them.
#include "platform/winplat.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "ufhost/api/edge.h"
#include "ufhost/base/cp1251.h"
#include "ufhost/ui/frontend.h"
#include "ufhost/ui/ui.h"

namespace {

using ufhost::host_call;
using ufhost::Marks;

std::string text_in(const char* text) {
  return text == nullptr ? std::string() : ufhost::cp1251_to_utf8(text);
}

}  // namespace

// --- Message box -------------------------------------------------------------

// A box that cannot be shown returns 0, as the platform's does.
int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned int /*type*/) {
  return host_call(
      "MessageBoxA", Marks::kOwnPieces,
      [&] {
        if (owner != nullptr) return 0;  // no windows here that could own a box
        ufhost::front_end().message(text_in(caption), text_in(text));
        return IDOK;
      },
      0);
}

// --- Text buffer -------------------------------------------------------------
// data_ always points to a zero-terminated copy owned by the buffer, so
// c_str() is never null.

TextBuffer::TextBuffer() : data_(nullptr), size_(0) { assign("", 0); }

TextBuffer::TextBuffer(const char* text) : data_(nullptr), size_(0) {
  assign(text == nullptr ? "" : text, text == nullptr ? 0 : std::strlen(text));
}

TextBuffer::TextBuffer(const TextBuffer& other) : data_(nullptr), size_(0) {
  assign(other.data_, other.size_);
}

TextBuffer& TextBuffer::operator=(const TextBuffer& other) {
  if (this != &other) assign(other.data_, other.size_);
  return *this;
}

TextBuffer& TextBuffer::operator=(const char* text) {
  assign(text == nullptr ? "" : text, text == nullptr ? 0 : std::strlen(text));
  return *this;
}

TextBuffer::~TextBuffer() { delete[] data_; }

// Copies before it frees, so `text` may point into this very buffer.
void TextBuffer::assign(const char* text, std::size_t n) {
  char* copy = new char[n + 1];
  std::memcpy(copy, text, n);
  copy[n] = '\0';
  delete[] data_;
  data_ = copy;
  size_ = n;
}

// --- File dialog -------------------------------------------------------------

SaveFileDialog::SaveFileDialog(bool open_mode, const char* default_ext, const char* file_name,
                               unsigned int flags, const char* filter, HWND /*owner*/,
                               unsigned int struct_size)
    : open_mode_(open_mode),
      default_ext_(default_ext),
      file_name_(file_name),
      flags_(flags),
      filter_(filter),
      struct_size_(struct_size) {}

SaveFileDialog::~SaveFileDialog() = default;

int SaveFileDialog::DoModal() {
  path_ = "";
  return host_call(
      "SaveFileDialog::DoModal", Marks::kOwnPieces,
      [&] {
        ufhost::SaveRequest request;
        request.open_mode = open_mode_;
        request.default_ext = text_in(default_ext_);
        request.file_name = text_in(file_name_);
        request.flags = flags_;
        request.filter = text_in(filter_);
        request.struct_size = struct_size_;
        std::string chosen;
        if (!ufhost::front_end().save(request, &chosen)) return IDCANCEL;
        // The front ends resolve the name already; this holds for any other
        // user interface too. The path keeps the file system's own bytes: the
        // plug-in only opens it.
        std::string path, why;
        if (!ufhost::resolve_save_path(chosen, request.default_ext, &path, &why)) {
          std::fflush(stdout);
          std::cerr << "ufhost: SaveFileDialog::DoModal: " << why << std::endl;
          return IDCANCEL;
        }
        path_ = path.c_str();
        return IDOK;
      },
      IDCANCEL);
}

TextBuffer SaveFileDialog::GetPathName() const { return path_; }
