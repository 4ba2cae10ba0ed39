#pragma once
// EXPECT_ERROR(statement, status, regex): the statement must throw
// lorvane::Error with that exit status and a message matching the POSIX
// extended regular expression (searched, not matched whole).
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "model/error.h"

namespace lorvane_test {

template <class F>
void expectError(F&& statement, int status, const std::string& pattern, const char* text, const char* file, int line) {
    try {
        statement();
    } catch (const lorvane::Error& e) {
        const std::string message = e.what();
        if (e.status() != status)
            ADD_FAILURE_AT(file, line) << text << " threw status " << e.status() << ", expected " << status << ": " << message;
        if (!std::regex_search(message, std::regex(pattern, std::regex::extended)))
            ADD_FAILURE_AT(file, line) << text << " threw \"" << message << "\", which does not match \"" << pattern << "\"";
        return;
    }
    ADD_FAILURE_AT(file, line) << text << " did not throw lorvane::Error";
}

}  // namespace lorvane_test

#define EXPECT_ERROR(statement, status, regex) \
    ::lorvane_test::expectError([&] { statement; }, status, regex, #statement, __FILE__, __LINE__)
