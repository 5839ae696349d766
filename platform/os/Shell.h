#pragma once

#include <string>
#include <vector>

// The shell's "open" verb: hands a file or link to the user's viewer. The
// desktop opens it, the command line prints it, tests record it.
namespace os {

class Shell {
  public:
    virtual ~Shell() = default;
    virtual void open(const std::string& target) = 0;
};

// Remembers every target; used by tests.
class RecordingShell : public Shell {
  public:
    void open(const std::string& target) override { mOpened.push_back(target); }
    [[nodiscard]] const std::vector<std::string>& opened() const { return mOpened; }

  private:
    std::vector<std::string> mOpened;
};

// Prints "wrote PATH" on standard output; used by quillory-cli.
class PrintingShell : public Shell {
  public:
    void open(const std::string& target) override;
};

} // namespace os
