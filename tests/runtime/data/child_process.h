#pragma once
// Child processes for the data tests: fork() a body, talk to it in words over two pipes, wait
// for it or kill it. The child leaves with _exit, so it never runs the parent's exit handlers.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace test_processes {

// One word each way over a pipe; -1 when the other end has gone.
inline void Tell(int fd, long word) { (void)!::write(fd, &word, sizeof word); }
inline long Hear(int fd) {
  long word = 0;
  return ::read(fd, &word, sizeof word) == static_cast<ssize_t>(sizeof word) ? word : -1;
}

// A child process running `body`; its result is the exit status.
class Child {
 public:
  explicit Child(const std::function<int(int toParent, int fromParent)>& body) {
    if (::pipe(up_) != 0 || ::pipe(down_) != 0) ADD_FAILURE() << "pipe";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(up_[0]);
      ::close(down_[1]);
      ::_exit(body(up_[1], down_[0]));
    }
    ::close(up_[1]);
    ::close(down_[0]);
  }
  ~Child() {
    if (pid_ > 0) Wait();
    ::close(up_[0]);
    ::close(down_[1]);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  long Receive() { return Hear(up_[0]); }
  void Send(long word) { Tell(down_[1], word); }
  void Kill() { ::kill(pid_, SIGKILL); }
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

 private:
  int up_[2] = {-1, -1}, down_[2] = {-1, -1};
  pid_t pid_ = -1;
};

}  // namespace test_processes
