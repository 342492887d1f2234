#include "support/board/fake_host.h"

#include <cstdlib>
#include <cstring>

namespace ztest {

namespace {
// malloc and free carry no host handle, so the host that counts them is process-wide.
FakeHost *g_current = nullptr;
} // namespace

FakeHost::FakeHost() {
    g_current = this;
}

morvel_zelp_integration_interfaces_s FakeHost::iif() {
    g_current = this;
    return {this, do_malloc, do_free, do_mbwait, do_get_type, do_sync, do_unsync, do_transfer};
}

void *FakeHost::do_malloc(int size) {
    ++g_current->mallocs;
    if (g_current->fail_malloc) return nullptr;
    return std::calloc(1, static_cast<size_t>(size));
}

void FakeHost::do_free(void *p) {
    ++g_current->frees;
    std::free(p);
}

int FakeHost::do_mbwait(morvel_zelp_handle_t d) {
    ++self(d)->mbwaits;
    return self(d)->mbwait_result;
}

int FakeHost::do_get_type(morvel_zelp_handle_t d, unsigned int *type) {
    FakeHost *h = self(d);
    ++h->get_types;
    if (h->get_type_result == 0) *type = h->device_type;
    return h->get_type_result;
}

int FakeHost::do_sync(morvel_zelp_handle_t d) {
    ++self(d)->syncs;
    return self(d)->sync_result;
}

int FakeHost::do_unsync(morvel_zelp_handle_t d) {
    ++self(d)->unsyncs;
    return self(d)->unsync_result;
}

int FakeHost::do_transfer(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                          unsigned int count) {
    FakeHost *h = self(d);
    Transfer t{mcu, address, out != nullptr, {}};
    int s = 0;
    if (out != nullptr) {
        const auto *bytes = static_cast<const uint8_t *>(out);
        t.data.assign(bytes, bytes + count);
        if (h->on_write) s = h->on_write(mcu, address, bytes, count);
    } else {
        auto *bytes = static_cast<uint8_t *>(in);
        std::memset(bytes, 0, count);
        if (h->on_read) s = h->on_read(mcu, address, bytes, count);
        t.data.assign(bytes, bytes + count);
    }
    h->transfers.push_back(std::move(t));
    return s;
}

} // namespace ztest
