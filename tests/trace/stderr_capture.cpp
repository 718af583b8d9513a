// StderrCapture.
#include "stderr_capture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace cx::test {

StderrCapture::StderrCapture(const std::string& path) : saved_(dup(STDERR_FILENO)) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) ADD_FAILURE() << "cannot redirect to " << path;
    if (fd >= 0) close(fd);
}

StderrCapture::StderrCapture() : saved_(dup(STDERR_FILENO)) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "cannot make a pipe";
        return;
    }
    pipe_read_ = ends[0];
    // Fill it without blocking, then leave the writing end blocking as standard error is.
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    char block[4096] = {};
    while (write(ends[1], block, sizeof(block)) > 0) {
    }
    while (write(ends[1], block, 1) > 0) {
    }
    fcntl(ends[1], F_SETFL, 0);
    dup2(ends[1], STDERR_FILENO);
    close(ends[1]);
}

StderrCapture::~StderrCapture() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    if (pipe_read_ >= 0) close(pipe_read_);
}

}  // namespace cx::test
