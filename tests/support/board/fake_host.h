// A host for the device library that records every callback and every bus transfer, so tests can
// check allocation, locking and the exact bytes the library moves.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"

namespace ztest {

struct Transfer {
    int mcu;
    uint32_t address;
    bool write;
    std::vector<uint8_t> data; // bytes written, or bytes handed back for a read

    bool operator==(const Transfer &) const = default;
};

inline std::vector<Transfer> writes_of(const std::vector<Transfer> &all) {
    std::vector<Transfer> w;
    for (const Transfer &t : all)
        if (t.write) w.push_back(t);
    return w;
}

class FakeHost {
  public:
    FakeHost();

    // The integration interfaces record pointing back at this host.
    morvel_zelp_integration_interfaces_s iif();

    unsigned device_type = 0x20;
    int get_type_result = 0;
    int sync_result = 0;
    int unsync_result = 0;
    int mbwait_result = 0;
    bool fail_malloc = false;

    int mallocs = 0, frees = 0, syncs = 0, unsyncs = 0, get_types = 0, mbwaits = 0;
    std::vector<Transfer> transfers;

    // Answers reads; the default returns zeros. Returning nonzero fails the transfer.
    std::function<int(int mcu, uint32_t address, uint8_t *in, unsigned count)> on_read;
    // Sees writes; returning nonzero fails the transfer.
    std::function<int(int mcu, uint32_t address, const uint8_t *out, unsigned count)> on_write;

    std::vector<Transfer> writes() const { return writes_of(transfers); }
    void clear_log() { transfers.clear(); }

  private:
    static FakeHost *self(morvel_zelp_handle_t d) { return static_cast<FakeHost *>(d); }
    static void *do_malloc(int size);
    static void do_free(void *p);
    static int do_mbwait(morvel_zelp_handle_t d);
    static int do_get_type(morvel_zelp_handle_t d, unsigned int *type);
    static int do_sync(morvel_zelp_handle_t d);
    static int do_unsync(morvel_zelp_handle_t d);
    static int do_transfer(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                           unsigned int count);
};

} // namespace ztest
