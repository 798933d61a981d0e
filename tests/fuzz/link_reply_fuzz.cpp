// The link engine against a writer that answers every frame with arbitrary
// bytes: no crash, no write past a destination, no endless wait, and the
// receive buffer never grows past its 256 bytes.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

#include "writer/link_news.h"
#include "writer/writer_link.h"

namespace {

// Each frame is answered by the next chunk of the input: a length byte, then
// bytes, handed over a few at a time as the input's next byte says.
class FuzzPort : public Port {
  public:
    FuzzPort(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Open(int) override { return true; }
    void Close() override {}
    void Write(const uint8_t*, size_t count) override {
        if (count == 0 || count > kMaxFrame) std::abort();
        m_pending.clear();
        if (m_pos >= m_size) return;
        size_t n = m_data[m_pos++];
        while (n-- && m_pos < m_size) m_pending.push_back(m_data[m_pos++]);
    }
    size_t Read(uint8_t* dest, size_t size, size_t want, uint32_t timeoutMs) override {
        if (size == 0 || size > kReceiveBufferSize || want == 0 || want > size) std::abort();
        if (m_pending.empty()) {
            m_now += timeoutMs;
            return 0;
        }
        size_t n = 1 + m_pending.size() % 7;
        if (n > size) n = size;
        if (n > m_pending.size()) n = m_pending.size();
        for (size_t i = 0; i < n; ++i) {
            dest[i] = m_pending.front();
            m_pending.pop_front();
        }
        return n;
    }
    uint32_t TickCount() override { return m_now; }
    void Sleep(uint32_t ms) override { m_now += ms; }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    uint32_t m_now = 0;
    std::deque<uint8_t> m_pending;
};

class FuzzHost {
  public:
    FuzzHost(const uint8_t* data, size_t size) : port(data, size) {}
    FuzzPort port;
    WriterLink link{port, [this](const LinkNews& news) { Hear(news); }};

    void Hear(const LinkNews& news) const {
        if (link.ReceivedCount() > kReceiveBufferSize) std::abort();
        // A firmware is the writer's two version bytes, "V0102", or none.
        if (news.kind == LinkNews::Kind::kVersions && !news.firmware.empty() &&
            (news.firmware.size() != 5 || news.firmware[0] != 'V'))
            std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    FuzzHost host(data + 2, size - 2);
    WriterLink& link = host.link;
    const uint8_t pick = data[0];
    switch (pick % 6) {
        case 0:
            link.DetectConnect([] { return true; });
            break;
        case 1:
            link.RunOperation(data[1], 0x1000);
            break;
        case 2:
            link.PollingCommand(data[1]);
            break;
        case 3:
            link.ReadWord(data[1]);
            break;
        case 4:
            link.WriteWord(data[1], 0x1234);
            break;
        default: {
            uint8_t dest[2];
            link.Send(MakeReadWordFrame(data[1]));
            link.WaitReply(data[1], dest, sizeof dest);
            break;
        }
    }
    return 0;
}
