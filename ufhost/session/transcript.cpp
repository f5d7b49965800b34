#include "ufhost/session/transcript.h"

#include <cerrno>
#include <cstring>

namespace ufhost {

std::shared_ptr<Transcript> Transcript::open(const std::string& path, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    *error = "cannot write the transcript " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::shared_ptr<Transcript>(new Transcript(f));
}

Transcript::~Transcript() { std::fclose(file_); }

void Transcript::write(const nlohmann::json& entry) {
  // "kind" first, so that a person reading the file sees at once what each
  // line is.
  nlohmann::ordered_json ordered;
  if (entry.is_object() && entry.contains("kind")) ordered["kind"] = entry["kind"];
  for (const auto& item : entry.items())
    if (item.key() != "kind") ordered[item.key()] = item.value();
  const std::string line =
      ordered.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)
    good_ = false;
}

void record(const std::shared_ptr<Transcript>& transcript, const nlohmann::json& entry) {
  if (transcript) transcript->write(entry);
}

nlohmann::json menu_entry(const MenuRequest& request) {
  return {{"kind", "menu"},
          {"title", request.title},
          {"items", request.items},
          {"default", request.default_item}};
}

nlohmann::json dialog_entry(const DialogRequest& request) {
  return {{"kind", "dialog"},
          {"title", request.title},
          {"labels", request.labels},
          {"values", request.values}};
}

nlohmann::json select_entry(const SelectRequest& request) {
  nlohmann::json objects = nlohmann::json::array();
  for (const Selectable& s : request.objects)
    objects.push_back({{"tag", s.tag}, {"name", s.name}, {"type", s.type}, {"size", s.size}});
  return {{"kind", "select"},
          {"title", request.prompt},
          {"objects", objects},
          {"masks", request.masks},
          {"scope", request.scope}};
}

nlohmann::json message_entry(const std::string& title, const std::string& text) {
  return {{"kind", "message"}, {"title", title}, {"text", text}};
}

nlohmann::json save_entry(const SaveRequest& request) {
  return {{"kind", "save"},
          {"title", ""},
          {"open_mode", request.open_mode},
          {"default_ext", request.default_ext},
          {"file_name", request.file_name},
          {"flags", request.flags},
          {"filter", request.filter},
          {"struct_size", request.struct_size}};
}

}  // namespace ufhost
