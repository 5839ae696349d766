#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

// A thin streaming XML reader over expat for the parts of a workbook.
// Element and attribute names reach the handler without their namespace
// prefix ("x:row" as "row", "r:id" as "id"): the parts are read by local
// name, as every spreadsheet program writes them with one prefix or another.
namespace roster {

class XmlAttributes {
  public:
    explicit XmlAttributes(const char** pairs) : mPairs(pairs) {}
    // The value of the attribute with this local name; empty when absent.
    [[nodiscard]] std::string_view get(std::string_view localName) const;

  private:
    const char** mPairs;
};

class XmlHandler {
  public:
    virtual ~XmlHandler() = default;
    virtual void start(std::string_view name, const XmlAttributes& attrs) = 0;
    virtual void end(std::string_view) {}
    virtual void text(std::string_view) {}

    // Why the handler stopped the parse; empty while it goes on.
    [[nodiscard]] const std::string& problem() const { return mProblem; }

  protected:
    // Stops the parse after this callback: feed() returns false, and the
    // caller names the problem. (No exception may cross the parser.)
    void stop(std::string problem) { mProblem = std::move(problem); }

  private:
    std::string mProblem;
};

class XmlReader {
  public:
    explicit XmlReader(XmlHandler& handler);
    ~XmlReader();
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    // Parses the next piece; `last` after the final one. False on an error.
    [[nodiscard]] bool feed(const char* data, std::size_t n, bool last);
    // The parser's message and line for the last error.
    [[nodiscard]] std::string error() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

// The part of a qualified name after its prefix.
[[nodiscard]] std::string_view LocalName(std::string_view qualified);

} // namespace roster
