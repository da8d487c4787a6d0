#pragma once
// The five display modes: 0 bargraphs, 1 needle gauges, 2 numeric wattmeter,
// 3 voltages, 4 timing and test. Each has a file of its own; this header brings
// them all in for the code that reaches into a mode's widgets.

#include "display/DialArea.h"
#include "display/GroupedDisplay.h"
#include "display/LevelBar.h"
#include "display/ModeParts.h"
#include "display/frmGaugeMain.h"
#include "display/frmPwrSwrMain.h"
#include "display/frmTiming.h"
#include "display/frmVoltage.h"
#include "display/frmWattMeter.h"
