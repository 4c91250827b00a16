#include <cstdio>

#include "dispatch/cgic.h"
#include "dispatch/dispatch.h"

bool readTextField(const char* name, std::string& value) {
    switch (cgiFormStringNoNewlines(name, value, kTextFieldSize)) {
        case cgiFormTruncated:
            std::fputs("error len", cgiOut);
            return false;
        case cgiFormEmpty:
            std::fputs("input empty", cgiOut);
            return false;
        case cgiFormSuccess:
            return true;
        default:
            return false;
    }
}
