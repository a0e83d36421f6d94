// Resource ids of the control module, shared by the .rc files and the code: nothing else
// writes these numbers.
#pragma once

// Strings
#define IDS_TAVRIN              1
#define IDS_TAVRIN_PPG          2
#define IDS_TAVRIN_PPG_CAPTION  200

// Artwork
#define IDB_TAVRIN              1   // toolbox bitmap
#define IDI_TAVRIN              1   // module icon, also shown in the about box

// Dialogs
#define IDD_ABOUTBOX_TAVRIN     1
#define IDD_PROPPAGE_TAVRIN     200

// The update dialog: template 201 and its controls
#define IDD_DOWNLOAD            201
#define IDC_DOWNLOAD_ANIMATE    201
#define IDC_DOWNLOAD_PROGRESS   202
#define IDC_DOWNLOAD_STOP       203
#define IDC_DOWNLOAD_STATUS     204
#define IDC_DOWNLOAD_PICTURE    205

// The download progress window: template 202, its controls, the clip and the picture it shows
#define IDD_PROGRESS_POPUP      202
#define IDC_POPUP_ANIMATE       201
#define IDC_POPUP_PROGRESS      202
#define IDC_POPUP_STOP          203
#define IDC_POPUP_STATUS        204
#define IDC_POPUP_PICTURE       205
#define IDR_AVI_BUSY            201   // AVI: stones flowing into a bowl
#define IDR_GIF_BOARD           204   // type "GIF": stones placed on a small board

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
