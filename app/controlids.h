// Names by which other programs (the end-to-end driver) find the main window
// and its controls. Keep them stable: changing one breaks those drivers.
//
// The main window is a top-level window of class KELVARIN_WINDOW_CLASS with
// the caption "Kelvarin". It is created hidden and shown only after window
// creation has finished, so a detection question at start-up (a MessageBoxA
// captioned "Kelvarin") is owned by the still hidden main window.
// Its controls are children with these control IDs (GetDlgItem):
//   IDC_CBDRIVE, IDC_CBVEL   "ComboBox", CBS_DROPDOWNLIST; a user change
//                            is CBN_SELCHANGE to the main window
//   IDC_BTDETECT, IDC_BTLOAD, IDC_BTEJECT   "Button"; BN_CLICKED
//   IDC_LABEL1, IDC_LABEL2, IDC_LABEL5, IDC_BEVEL1   "Static"
#pragma once

#define KELVARIN_WINDOW_CLASS "KelvarinMainWindow"

#define IDC_LABEL1 1001
#define IDC_CBDRIVE 1002
#define IDC_LABEL2 1003
#define IDC_CBVEL 1004
#define IDC_BTDETECT 1005
#define IDC_BTLOAD 1006
#define IDC_BTEJECT 1007
#define IDC_BEVEL1 1008
#define IDC_LABEL5 1009

#define IDI_KELVARIN 1

// The labels', buttons' and notice line's font, its height in pixels at 96
// pixels per inch (scaled to the screen's): a driver measures the captions
// with it, since a font handle means nothing in another process.
#define KELVARIN_CONTROL_FONT "MS Sans Serif"
#define KELVARIN_CONTROL_FONT_HEIGHT 11
