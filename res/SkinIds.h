#pragma once
// Resource ids of the skin bitmaps and icons.
namespace SkinIds {
enum : int {
    AppIcon = 128,
    MainBackground = 133,
    CloseButton = 134,
    DeleteButton = 135,
    DownloadButton = 136,
    MinimizeButton = 139,
    UploadButton = 140,
    TopMostOff = 158,
    TopMostOn = 159,
    ReplaceIcon = 177,
};
}
