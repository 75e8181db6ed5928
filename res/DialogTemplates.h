#pragma once
#include "res/DialogTemplate.h"

#include <vector>

namespace DialogTemplates {
enum : int {
    MainWindow = 102,
    TransferDialog = 129,
    DownloadSelect = 130,
    FileList = 132,
    ConfirmReplace = 171,
    WaitBox = 178,
};

const DialogTemplate* Find(int id); // nullptr when unknown
const DialogTemplate& Get(int id);  // id must be one of the above
const std::vector<DialogTemplate>& All();
} // namespace DialogTemplates
