#include "app/flag_files.h"

#include <optional>

namespace geoanchor {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

class Expander {
 public:
  Expander(const FlagFileHooks& hooks, std::vector<std::string>* out)
      : hooks_(hooks), out_(out) {}

  bool stopped() const { return stopped_; }
  const std::optional<InputError>& error() const { return error_; }

  // gflags' SplitArgumentLocked: "noname" is the bool flag "name".
  FlagKind Kind(const std::string& key) const {
    const FlagKind kind = hooks_.flag_kind(key);
    if (kind != FlagKind::kUnknown || key.compare(0, 2, "no") != 0) {
      return kind;
    }
    return hooks_.flag_kind(key.substr(2)) == FlagKind::kBool
               ? FlagKind::kBool
               : FlagKind::kUnknown;
  }

  // The value of a "--flagfile": a comma-separated list of files.
  void ExpandList(const std::string& list, int depth) {
    std::vector<std::string> files;
    for (size_t start = 0; start < list.size();) {
      size_t comma = list.find(',', start);
      if (comma == std::string::npos) comma = list.size();
      const std::string file = list.substr(start, comma - start);
      if (file.empty() || file[0] == '-') {
        return LeaveToGflags(list);
      }
      files.push_back(file);
      start = comma + 1;  // a last comma ends the list, as in gflags
    }
    for (const std::string& file : files) {
      if (stopped_) return;
      if (depth >= kMaxFlagFileDepth) {
        const std::string depth_limit = std::to_string(kMaxFlagFileDepth);
        error_ = InputError{
            InputErrorCode::kFlagFilesTooDeep,
            InputPlace{},
            {"flag files nest more than " + depth_limit + " deep at " + file +
                 " (does a flag file name itself?)",
             "参数文件在 " + file + " 处嵌套超过 " + depth_limit +
                 " 层（是否有参数文件引用了自身？）"},
            {}};
        stopped_ = true;
        return;
      }
      std::string text;
      if (!hooks_.read(file, &text)) return LeaveToGflags(file);
      ExpandText(text, depth + 1);
    }
  }

 private:
  void LeaveToGflags(const std::string& list) {
    out_->push_back("--flagfile=" + list);
    stopped_ = true;
  }

  // gflags' ProcessOptionsFromStringLocked, line by line.
  void ExpandText(std::string text, int depth) {
    text.resize(text.find('\0') == std::string::npos ? text.size()
                                                     : text.find('\0'));
    bool relevant = true;
    bool in_filename_section = false;
    // A line ends at the next CR, or where there is none at the next LF,
    // exactly as gflags looks for them.
    size_t next_cr = text.find('\r');
    size_t next_lf = text.find('\n');
    for (size_t p = 0; p <= text.size() && !stopped_;) {
      while (p < text.size() && IsSpace(text[p])) ++p;
      if (next_cr != std::string::npos && next_cr < p) {
        next_cr = text.find('\r', p);
      }
      if (next_lf != std::string::npos && next_lf < p) {
        next_lf = text.find('\n', p);
      }
      const size_t end = next_cr != std::string::npos ? next_cr : next_lf;
      const std::string line = text.substr(
          p, end == std::string::npos ? std::string::npos : end - p);
      p = end == std::string::npos ? text.size() + 1 : end + 1;

      if (line.empty() || line[0] == '#') continue;
      if (line[0] != '-') {
        if (!in_filename_section) {
          in_filename_section = true;
          relevant = false;
        }
        for (size_t start = 0; !relevant;) {
          const size_t space = line.find(' ', start);
          relevant = hooks_.matches_program(line.substr(start, space - start));
          if (space == std::string::npos) break;
          start = space + 1;
        }
        continue;
      }
      in_filename_section = false;
      if (!relevant) continue;
      const size_t dashes = line.size() > 1 && line[1] == '-' ? 2 : 1;
      const size_t equals = line.find('=', dashes);
      const std::string key = line.substr(dashes, equals - dashes);
      switch (Kind(key)) {
        case FlagKind::kUnknown:
          break;
        case FlagKind::kBool:
          out_->push_back(line);
          break;
        case FlagKind::kTakesValue:
          if (equals != std::string::npos) out_->push_back(line);
          break;
        case FlagKind::kFlagFile:
          if (equals != std::string::npos) {
            ExpandList(line.substr(equals + 1), depth);
          }
          break;
      }
    }
  }

  const FlagFileHooks& hooks_;
  std::vector<std::string>* out_;
  bool stopped_ = false;
  std::optional<InputError> error_;
};

}  // namespace

bool ExpandFlagFiles(std::vector<std::string>* args, const FlagFileHooks& hooks,
                     InputError* error) {
  if (args->empty()) return true;
  std::vector<std::string> out = {(*args)[0]};
  Expander expander(hooks, &out);
  // gflags' ParseNewCommandLineFlags: which arguments are flags, and which
  // flag takes the next argument as its value.
  size_t i = 1;
  for (; i < args->size() && !expander.stopped(); ++i) {
    const std::string& arg = (*args)[i];
    if (arg.size() < 2 || arg[0] != '-') {  // a program argument, or "-"
      out.push_back(arg);
      continue;
    }
    const size_t dashes = arg[1] == '-' ? 2 : 1;
    if (arg.size() == dashes) break;  // "--": no flags after it
    const size_t equals = arg.find('=', dashes);
    const std::string key = arg.substr(dashes, equals - dashes);
    const FlagKind kind = expander.Kind(key);
    const bool next_is_value =
        equals == std::string::npos && i + 1 < args->size() &&
        (kind == FlagKind::kTakesValue || kind == FlagKind::kFlagFile);
    if (kind == FlagKind::kFlagFile &&
        (equals != std::string::npos || next_is_value)) {
      expander.ExpandList(next_is_value ? (*args)[++i] : arg.substr(equals + 1),
                          0);
      continue;
    }
    out.push_back(arg);
    if (next_is_value) out.push_back((*args)[++i]);
  }
  if (expander.error()) {
    *error = *expander.error();
    return false;
  }
  out.insert(out.end(), args->begin() + i, args->end());
  *args = std::move(out);
  return true;
}

}  // namespace geoanchor
