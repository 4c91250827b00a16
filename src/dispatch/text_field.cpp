// Text fields: the shared convention, then the field's row of the value
// rules, which refuses what the settings files cannot hold or the device
// cannot use.
#include "dispatch/cgic.h"
#include "dispatch/dispatch.h"
#include "settings/rules.h"

bool readTextField(const char* name, std::string& value) {
    switch (cgiFormStringNoNewlines(name, value, kTextFieldSize)) {
        case cgiFormTruncated:
            replyRefusal("error len");
            return false;
        case cgiFormEmpty:
            replyRefusal("input empty");
            return false;
        case cgiFormSuccess:
            break;
        default:
            return false;
    }
    const settings::ValueRule* rule = settings::ruleForField(name);
    if (!rule) return true;
    if (const char* refusal = settings::refusalFor(*rule, value)) {
        replyRefusal(refusal);
        return false;
    }
    return true;
}
