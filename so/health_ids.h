// Resource ids of the interactive health-check dialog, shared by the dialog
// code and the resource script.
#pragma once

#define IDD_CHECKHEALTH 102
#define IDC_RESULT 201
