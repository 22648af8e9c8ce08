#pragma once
// The log lines that a test produced: what the process's log file gained between
// the capture's construction and a call of Text().

#include <cstddef>
#include <string>

class LogCapture {
public:
    LogCapture();
    std::string Text() const;
    bool Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }
    size_t Count(const std::string& text) const;

private:
    size_t start_;
};
