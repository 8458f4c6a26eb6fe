// The relay's real ends, set up as the window's form resource sets them.
#pragma once
#include <memory>
#include <string>

#include "relay/endpoints.h"

std::unique_ptr<endpoint::TSerialEndpoint> MakeSerialPortEnd();
std::unique_ptr<endpoint::TTcpEndpoint> MakeTcpClientEnd();
