#include "common/tool_options.h"

#include <charconv>
#include <system_error>
#include <utility>

namespace tsl::tools {

ToolOptions& ToolOptions::Value(const char* name, std::function<bool(const std::string&)> read) {
  options_.push_back({name, true, std::move(read)});
  return *this;
}

ToolOptions& ToolOptions::Text(const char* name, std::string& out) {
  return Value(name, [&out](const std::string& v) {
    out = v;
    return true;
  });
}

ToolOptions& ToolOptions::Number(const char* name, double& out) {
  return Value(name, [&out](const std::string& v) {
    const char* end = v.data() + v.size();
    const auto [at, ec] = std::from_chars(v.data(), end, out);
    return ec == std::errc() && at == end;
  });
}

ToolOptions& ToolOptions::Count(const char* name, uint32_t& out, uint32_t least) {
  return Value(name, [&out, least](const std::string& v) {
    const char* end = v.data() + v.size();
    uint32_t n = 0;
    const auto [at, ec] = std::from_chars(v.data(), end, n);
    if (v.empty() || v.front() == '-' || ec != std::errc() || at != end || n < least) return false;
    out = n;
    return true;
  });
}

ToolOptions& ToolOptions::Flag(const char* name, bool& out) {
  options_.push_back({name, false, [&out](const std::string&) {
                        out = true;
                        return true;
                      }});
  return *this;
}

bool ToolOptions::Parse(int argc, char** argv) const {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const Option* found = nullptr;
    for (const Option& o : options_) {
      if (o.name == arg) found = &o;
    }
    if (found == nullptr) return false;
    if (!found->takes_value) {
      found->read("");
      continue;
    }
    if (i + 1 >= argc || !found->read(argv[++i])) return false;
  }
  return true;
}

}  // namespace tsl::tools
