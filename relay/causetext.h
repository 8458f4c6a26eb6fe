// The cause of a failure, written for the operator as the console's second red line.
#pragma once
#include <string>

#include "runtime/errorvalue.h"

// GB18030 bytes, like every console text: "权限不足：/dev/ttyUSB0（请将用户加入 dialout 组）", "端口被进程
// 1234 占用", "设备不存在：/dev/ttyUSB9" ...; empty when there is no cause.
std::string OperatorCauseText(const TPlatformError& cause);
