#include "res/DialogTemplates.h"

#include "res/SkinIds.h"
#include "res/Strings.h"

#include <cstdlib>

const ControlTemplate* DialogTemplate::control(int controlId) const {
    for (const auto& c : controls)
        if (c.id == controlId)
            return &c;
    return nullptr;
}

namespace DialogTemplates {
namespace {

using K = ControlKind;
namespace F = ControlFlag;

std::vector<DialogTemplate> Build() {
    std::vector<DialogTemplate> all;
    all.push_back(
        {MainWindow,
         Strings::MainWindowTitle,
         {158, 208},
         DialogFlag::Popup | DialogFlag::NoCaption | DialogFlag::AppWindow,
         {
             {1040,
              K::Button,
              Strings::ButtonAlwaysOnTop,
              {120, 6, 9, 11},
              F::ImageButtonEx,
              SkinIds::TopMostOff,
              SkinIds::TopMostOn},
             {1036, K::Button, Strings::ButtonMinimize, {130, 6, 9, 11}, F::ImageButton, SkinIds::MinimizeButton},
             {1021, K::Button, Strings::ButtonClose, {140, 6, 9, 11}, F::ImageButton, SkinIds::CloseButton},
             {1051, K::Label, Strings::QuotaTotalLabel, {71, 33, 47, 8}, F::AlignRight | F::TransparentLabel},
             {1052, K::Label, Strings::QuotaUsedLabel, {71, 45, 47, 8}, F::AlignRight | F::TransparentLabel},
             {1053, K::Label, Strings::QuotaFreeLabel, {71, 57, 47, 8}, F::AlignRight | F::TransparentLabel},
             {1004, K::Label, Strings::ZeroMegabytes, {120, 33, 26, 8}, F::AlignRight | F::TransparentLabel},
             {1005, K::Label, Strings::ZeroMegabytes, {120, 45, 26, 8}, F::AlignRight | F::TransparentLabel},
             {1006, K::Label, Strings::ZeroMegabytes, {120, 57, 26, 8}, F::AlignRight | F::TransparentLabel},
         }});
    all.push_back({TransferDialog,
                   Strings::TransferTitle,
                   {169, 67},
                   DialogFlag::Popup,
                   {
                       {1010, K::Label, Strings::TransferCurrentFile, {7, 7, 155, 8}, F::TransparentLabel},
                       {1057, K::Label, Strings::TransferCountPlaceholder, {7, 19, 155, 8}, F::TransparentLabel},
                       {1011, K::Label, Strings::TransferBytesPlaceholder, {7, 31, 155, 8}, F::TransparentLabel},
                       {1007, K::ProgressBar, {}, {7, 42, 155, 7}},
                       {1009, K::Button, Strings::ButtonCancel, {112, 51, 50, 14}},
                       {1008, K::Button, Strings::ButtonPause, {60, 51, 50, 14}, F::Hidden},
                   }});
    all.push_back({DownloadSelect,
                   Strings::DownloadDialogTitle,
                   {177, 82},
                   DialogFlag::Popup,
                   {
                       {1016, K::Label, Strings::DownloadDialogMessage, {7, 9, 141, 8}},
                       {-1, K::Label, Strings::DownloadFolderLabel, {8, 25, 31, 8}},
                       {1012, K::Edit, {}, {39, 22, 115, 14}, F::HScroll},
                       {1013, K::Button, Strings::ButtonBrowse, {155, 22, 15, 14}},
                       {1015, K::CheckBox, Strings::DownloadOpenFolder, {12, 43, 98, 10}},
                       {1, K::DefaultButton, Strings::ButtonStart, {38, 61, 50, 14}},
                       {2, K::Button, Strings::ButtonCancel, {88, 61, 50, 14}},
                   }});
    all.push_back(
        {FileList,
         {},
         {144, 109},
         DialogFlag::Child | DialogFlag::NoCaption,
         {
             {1028, K::ListView, {}, {1, 1, 141, 88}, F::OwnerData},
             {1031, K::Button, Strings::WordUpload, {4, 94, 35, 13}, F::ImageButton, SkinIds::UploadButton},
             {1030, K::Button, Strings::WordDownload, {39, 94, 40, 13}, F::ImageButton, SkinIds::DownloadButton},
             {1029, K::Button, Strings::WordDelete, {113, 94, 25, 13}, F::ImageButton, SkinIds::DeleteButton},
         }});
    all.push_back({ConfirmReplace,
                   Strings::ReplaceDialogTitle,
                   {250, 66},
                   DialogFlag::Popup | DialogFlag::TopMost,
                   {
                       {-1, K::Icon, {}, {5, 7, 18, 21}, F::None, SkinIds::ReplaceIcon},
                       {1048, K::Label, {}, {32, 7, 212, 17}, F::TransparentLabel},
                       {-1, K::Label, Strings::ReplaceSecondLine, {32, 30, 121, 8}},
                       {-1, K::EtchedLine, {}, {5, 43, 240, 1}},
                       {1055, K::DefaultButton, Strings::ButtonYes, {45, 47, 50, 14}},
                       {1041, K::Button, Strings::ButtonYesToAll, {95, 47, 50, 14}},
                       {1043, K::Button, Strings::ButtonNo, {145, 47, 50, 14}},
                       {2, K::Button, Strings::ButtonCancel, {195, 47, 50, 14}},
                   }});
    all.push_back({WaitBox,
                   {},
                   {130, 30},
                   DialogFlag::Popup | DialogFlag::NoCaption,
                   {
                       {1056, K::Label, Strings::WaitBoxPlaceholder, {8, 7, 114, 16}, F::TransparentLabel},
                   }});
    return all;
}

} // namespace

const std::vector<DialogTemplate>& All() {
    static const std::vector<DialogTemplate> all = Build();
    return all;
}

const DialogTemplate* Find(int id) {
    for (const auto& t : All())
        if (t.id == id)
            return &t;
    return nullptr;
}

const DialogTemplate& Get(int id) {
    const DialogTemplate* t = Find(id);
    if (!t)
        std::abort(); // a programming error: every id in use is in the table
    return *t;
}

} // namespace DialogTemplates
