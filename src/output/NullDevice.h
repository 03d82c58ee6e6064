#pragma once
#include "output/PullThreadDevice.h"
