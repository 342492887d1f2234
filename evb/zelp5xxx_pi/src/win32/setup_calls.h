// The system calls that discovery makes, gathered in one table: bound to SetupAPI, the registry
// and the HID library in the product, replaced by a fake machine in tests, as the Linux discovery
// reads a replaceable sysfs tree.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include "hid_headers.h"
#include "zelp_usb_devices.h"

namespace zio {

struct SetupCalls {
    // Device lists: present devices or interfaces, one by one, and the list's release.
    decltype(&SetupDiGetClassDevsA) get_class_devs;
    decltype(&SetupDiEnumDeviceInfo) enum_device_info;
    decltype(&SetupDiEnumDeviceInterfaces) enum_device_interfaces;
    decltype(&SetupDiGetDeviceInterfaceDetailA) get_interface_detail;
    decltype(&SetupDiDestroyDeviceInfoList) destroy_list;
    // A device's hardware ID and the values under its hardware key.
    decltype(&SetupDiGetDeviceRegistryPropertyA) get_registry_property;
    decltype(&SetupDiOpenDevRegKey) open_dev_reg_key;
    decltype(&RegQueryValueExA) query_value;
    decltype(&RegCloseKey) close_key;
    // HID devices: open, attributes and capabilities, close.
    decltype(&CreateFileA) open_device;
    decltype(&CloseHandle) close_device;
    decltype(&HidD_GetAttributes) get_attributes;
    decltype(&HidD_GetPreparsedData) get_preparsed_data;
    decltype(&HidP_GetCaps) get_caps;
    decltype(&HidD_FreePreparsedData) free_preparsed_data;
    // The device tree: a node's parent and its instance ID (USB\VID_0416&PID_5020\SERIAL).
    decltype(&CM_Get_Parent) get_parent;
    decltype(&CM_Get_Device_IDA) get_device_id;
};

// The table discovery uses now; the system's own unless a test replaced it.
const SetupCalls &setup_calls();
// Replaces the table; the system's own comes back with set_setup_calls(system_setup_calls()).
void set_setup_calls(const SetupCalls &calls);
const SetupCalls &system_setup_calls();

// A device-information list, released through the table that made it.
class DeviceList {
  public:
    DeviceList(const SetupCalls &calls, HDEVINFO list) : calls_(calls), list_(list) {}
    ~DeviceList() {
        if (*this) calls_.destroy_list(list_);
    }
    DeviceList(const DeviceList &) = delete;
    DeviceList &operator=(const DeviceList &) = delete;

    explicit operator bool() const { return list_ != INVALID_HANDLE_VALUE && list_ != nullptr; }
    HDEVINFO get() const { return list_; }

  private:
    const SetupCalls &calls_;
    HDEVINFO list_;
};

} // namespace zio
