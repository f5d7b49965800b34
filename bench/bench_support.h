// What the benchmarks that time the parts share: the parts they time by
// default and how they read a clock.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// The middle of the times: one slow run on a busy machine moves it little.
inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The bundled samples, then the real parts beside the project (when there),
// each folder sorted.
inline std::vector<std::string> default_parts() {
  std::vector<std::string> out;
  for (const char* dir : {SAMPLES_DIR, SHARED_PARTS_DIR}) {
    std::vector<std::string> found;
    if (std::filesystem::is_directory(dir))
      for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() != ".md") found.push_back(e.path().string());
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
  }
  return out;
}

}  // namespace bench
