// The process in a comma-decimal locale for as long as one lives, as the
// bench runs on a German lab PC: Qt takes the locale from LANG when the
// program starts, and printf then writes 1.8 as "1,8". tools/bootstrap
// makes the locale, so a machine that ran it has it.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

namespace test {

class CommaLocale {
public:
    static constexpr const char* kName = "de_DE.UTF-8";
    CommaLocale() {
        const char* old = std::setlocale(LC_ALL, nullptr);
        old_ = old ? old : "C";
        active_ = std::setlocale(LC_ALL, kName) != nullptr;
    }
    ~CommaLocale() { std::setlocale(LC_ALL, old_.c_str()); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    // On, and printf really writes a comma.
    bool Active() const {
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        return active_ && std::string(text) == "1,5";
    }

private:
    std::string old_;
    bool active_ = false;
};

}  // namespace test

// Fails (never skips) without the locale: the tests that need it are the
// ones that catch a file written with decimal commas.
#define REQUIRE_COMMA_LOCALE(locale)                                                                  \
    if (!(locale).Active())                                                                           \
    FAIL() << "no comma-decimal locale " << test::CommaLocale::kName << " here: tools/bootstrap makes it"
