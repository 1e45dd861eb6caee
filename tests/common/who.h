#pragma once
#include "platform/settings.h"

namespace testsupport {

// The registration data of a test user; texts longer than the fields fail the test at once.
inline platform::Registration Who(const char* registrar, const char* serial, const char* email) {
    platform::Registration who;
    if (!platform::MakeRegistration(registrar, serial, email, who)) throw "registration text too long";
    return who;
}

}  // namespace testsupport
