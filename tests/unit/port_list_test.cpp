#include <gtest/gtest.h>

#include "tests/unit/temp_path.h"

#include <cstdio>

#include "common/ini_profile.h"
#include "core/link_texts.h"
#include "writer/port_list.h"

namespace {
const std::vector<int> kDefault = {1, 2, 3};
}

TEST(PortList, AbsentOrEmptySearchesFirstThreeSilently) {
    const std::string path = TestTempPath(".ini");
    std::remove(path.c_str());
    IniProfile p(path);
    PortList l = ReadPortList(p);
    EXPECT_EQ(l.ports, kDefault);
    EXPECT_EQ(l.strMessage, "");

    for (const char* value : {"", "  ", "\"\""}) {
        p.WriteString("Setting", "Ports", value);
        l = ReadPortList(p);
        EXPECT_EQ(l.ports, kDefault) << value;
        EXPECT_EQ(l.strMessage, "") << value;
    }
    p.WriteString("setting", "PORTS", "7");
    EXPECT_EQ(ReadPortList(p).ports, std::vector<int>{7});
    std::remove(path.c_str());
}

TEST(PortList, OrderKeptBlanksAllowedRepeatsDropped) {
    const struct {
        const char* value;
        std::vector<int> ports;
    } cases[] = {
        {"7", {7}},
        {"12,4,7", {12, 4, 7}},
        {" 12 ,\t4 , 7 ", {12, 4, 7}},
        {"4,4,5,4,1", {4, 5, 1}},
        {"255,1", {255, 1}},
        {"007", {7}},
        {"3,2,1", {3, 2, 1}},
    };
    for (const auto& c : cases) {
        const PortList l = ParsePortList(c.value);
        EXPECT_EQ(l.ports, c.ports) << c.value;
        EXPECT_EQ(l.strMessage, "") << c.value;
    }
}

TEST(PortList, BadListFallsBackWithMessage) {
    for (const char* value :
         {"0", "256", "1000", "99999999999999999999", "-1", "+3", "0x10", "COM4", "4;5", "4 5",
          "1,,2", "1,2,", ",1", ",", "7,300", "1, 2, x"}) {
        const PortList l = ParsePortList(value);
        EXPECT_EQ(l.ports, kDefault) << value;
        EXPECT_EQ(l.strMessage, "Invalid Ports in 'Larkspur.ini', set to default: COM1, COM2, COM3")
            << value;
    }
}

TEST(PortList, PortNumberOption) {
    int port = 42;
    EXPECT_TRUE(ParsePortNumber("12", port));
    EXPECT_EQ(port, 12);
    for (const char* bad : {"", "0", "256", "1x", " 3", "-3", "99999999999"}) {
        EXPECT_FALSE(ParsePortNumber(bad, port)) << bad;
        EXPECT_EQ(port, 12) << bad;
    }
}

TEST(PortList, NamesAndLinkTexts) {
    EXPECT_EQ(PortDeviceName(1), "COM1");
    EXPECT_EQ(PortDeviceName(9), "COM9");
    EXPECT_EQ(PortDeviceName(10), "\\\\.\\COM10");
    EXPECT_EQ(PortDeviceName(255), "\\\\.\\COM255");
    EXPECT_EQ(PortName(12), "COM12");
    EXPECT_EQ(DetectingLinkText(2), "Detecting COM2...");
    EXPECT_EQ(ConnectedLinkText(12), "Connected(COM12)");
}
