#pragma once

// The companion programs' command lines: each option bound to the variable it sets. Portable.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tsl::tools {

class ToolOptions {
 public:
  // "--name TEXT"
  ToolOptions& Text(const char* name, std::string& out);
  // "--name N": a decimal number, the whole value.
  ToolOptions& Number(const char* name, double& out);
  // "--name N": a whole number, digits only, at least `least`.
  ToolOptions& Count(const char* name, uint32_t& out, uint32_t least = 0);
  // "--name": sets `out`.
  ToolOptions& Flag(const char* name, bool& out);
  // "--name VALUE", read by `read` (false: the value is refused).
  ToolOptions& Value(const char* name, std::function<bool(const std::string&)> read);

  // Reads argv[1..argc); false on an option not bound, one without its value, or a value that
  // does not read.
  bool Parse(int argc, char** argv) const;

 private:
  struct Option {
    std::string name;
    bool takes_value = true;
    std::function<bool(const std::string&)> read;
  };
  std::vector<Option> options_;
};

}  // namespace tsl::tools
