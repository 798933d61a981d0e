#pragma once
#include <string>
#include <vector>

class Profile;

// The COM ports the writer is searched on and the names a port goes by. Used
// by the writer search of both front ends (the window and pyrocmd) and by
// pyrocmd's --port option.

constexpr int kMaxPortNumber = 255;

struct PortList {
    std::vector<int> ports;  // in search order; never empty, each 1..255, no repeats
    std::string strMessage;  // for the message line when the setting was refused, else empty
};

// [Setting] Ports: COM numbers separated by commas, blanks allowed around
// them, later repeats dropped. Absent or empty searches COM1-COM3 as always.
PortList ParsePortList(const std::string& value);
PortList ReadPortList(const Profile& profile);

// A decimal COM number 1..255 (digits only); false leaves `port` alone.
bool ParsePortNumber(const std::string& text, int& port);
// The same, or a port's name: "7" and "COM7" (any case) name COM7.
bool ParsePortName(const std::string& text, int& port);

std::string PortName(int port);           // "COM12"
std::string PortDeviceName(int port);     // "COM3", but "\\.\COM12" from 10 up
