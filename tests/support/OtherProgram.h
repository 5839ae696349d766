#pragma once

#include <functional>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// Another program on the same home folder, as a child process: `body` runs
// in it and calls `holding()` once it holds what the test is about (the
// database's write lock, say); the child then waits there until the test
// calls goOn(), for instance from the busy notice of its own connection, so
// that the test's command is known to have started and to be waiting when
// the other program changes the table. The constructor returns once the
// child holds it. The child ends with 0 when `body` returns, 1 when it
// throws.
class OtherProgram {
  public:
    using Body = std::function<void(const std::function<void()>& holding)>;

    explicit OtherProgram(const Body& body) {
        int ready[2], go[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0)
            throw std::runtime_error("pipe");
        mPid = ::fork();
        if (mPid == 0) {
            ::close(ready[0]);
            ::close(go[1]);
            int status = 0;
            try {
                body([&] {
                    char c = 'h';
                    (void)!::write(ready[1], &c, 1);
                    (void)!::read(go[0], &c, 1);
                });
            } catch (...) {
                status = 1;
            }
            ::_exit(status);
        }
        ::close(ready[1]);
        ::close(go[0]);
        mGo = go[1];
        char c = 0;
        mHolding = ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
    }
    ~OtherProgram() { (void)finish(); }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    // False when the child ended before it got hold.
    [[nodiscard]] bool holding() const { return mHolding; }

    // Lets the child go on (the first call only).
    void goOn() {
        if (mGo >= 0) {
            char c = 'g';
            (void)!::write(mGo, &c, 1);
            ::close(mGo);
            mGo = -1;
        }
    }

    // Lets it go on and waits for it; true when it ended with 0.
    [[nodiscard]] bool finish() {
        goOn();
        if (mPid > 0) {
            int status = -1;
            ::waitpid(mPid, &status, 0);
            mPid = -1;
            mOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        return mOk;
    }

  private:
    pid_t mPid = -1;
    int mGo = -1;
    bool mHolding = false;
    bool mOk = false;
};

// Runs `body` in a child process and returns how it ended (waitpid's
// status), for a child that is to kill itself.
inline int InChild(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    return status;
}

} // namespace testsupport
