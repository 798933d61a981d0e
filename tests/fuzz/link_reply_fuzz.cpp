// The link engine against a writer that answers every frame with arbitrary
// bytes: no crash, no write past a destination, no endless wait, and the
// receive buffer never grows past its 256 bytes.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

#include "writer/writer_link.h"

namespace {

class FuzzHost : public LinkPort, public SilentFrontEnd {
  public:
    FuzzHost(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    WriterLink link{*this, *this};
    int writes = 0;

    bool OpenPort(int) override { return true; }
    void ClosePort() override {}
    void WritePort(const uint8_t*, size_t count) override {
        if (count == 0 || count > kMaxFrame) std::abort();
        ++writes;
        m_pending.clear();
        // Each frame is answered by the next chunk: a length byte, then bytes.
        if (m_pos >= m_size) return;
        size_t n = m_data[m_pos++];
        while (n-- && m_pos < m_size) m_pending.push_back(m_data[m_pos++]);
    }
    bool PumpOneMessage() override {
        if (m_pending.empty()) return false;
        link.OnSerialByte(m_pending.front());
        m_pending.pop_front();
        if (link.ReceivedCount() > kReceiveBufferSize) std::abort();
        return true;
    }
    void WaitForMessage(uint32_t ms) override { m_now += ms; }
    uint32_t TickCount() override { return m_now; }
    void Sleep(uint32_t ms) override { m_now += ms; }
    void SetText(FrontText which, const std::string& t) override {
        if (which == FrontText::kVersion && t.rfind("Software(V1.2)", 0) != 0) std::abort();
    }
    bool Breathe() override { return PumpOneMessage(); }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    uint32_t m_now = 0;
    std::deque<uint8_t> m_pending;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    FuzzHost host(data + 2, size - 2);
    WriterLink& link = host.link;
    const uint8_t pick = data[0];
    switch (pick % 6) {
        case 0:
            link.OnDetectConnect([] { return true; });
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
