#include "win32/setup_calls.h"

namespace zio {

namespace {

SetupCalls &current() {
    static SetupCalls calls = system_setup_calls();
    return calls;
}

} // namespace

const SetupCalls &system_setup_calls() {
    static const SetupCalls calls = {
        &SetupDiGetClassDevsA,
        &SetupDiEnumDeviceInfo,
        &SetupDiEnumDeviceInterfaces,
        &SetupDiGetDeviceInterfaceDetailA,
        &SetupDiDestroyDeviceInfoList,
        &SetupDiGetDeviceRegistryPropertyA,
        &SetupDiOpenDevRegKey,
        &RegQueryValueExA,
        &RegCloseKey,
        &CreateFileA,
        &CloseHandle,
        &HidD_GetAttributes,
        &HidD_GetPreparsedData,
        &HidP_GetCaps,
        &HidD_FreePreparsedData,
        &CM_Get_Parent,
        &CM_Get_Device_IDA,
    };
    return calls;
}

const SetupCalls &setup_calls() {
    return current();
}

void set_setup_calls(const SetupCalls &calls) {
    current() = calls;
}

} // namespace zio
