// Sets or removes an environment variable of the test process for one scope
// and puts back what was there before. Values are UTF-8.
#pragma once

#include <optional>
#include <string>

namespace kelm_test {

class ScopedEnv {
 public:
  // value == nullopt removes the variable.
  ScopedEnv(const std::string& name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Sets (or with nullopt removes) a variable of the process environment.
void set_env(const std::string& name, const std::optional<std::string>& value);
// The variable's value, or nullopt when it is not set.
std::optional<std::string> env_value(const std::string& name);

}  // namespace kelm_test
