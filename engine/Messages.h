#pragma once

#include <string>

// The listing program's messages and captions, word for word: the odd wording and the doubled,
// leading and trailing blanks are the program's own, which users' scripts (ctlgrm prints them
// as "CAPTION: TEXT") and the tests compare. Keep them as they are; write new texts elsewhere,
// plainly. The dialogs' control captions keep their blanks for the same reason.

inline const std::string kScanCaption = "Catalogrium";
inline const std::string kReadProblem = "There are problem reading folder  ";
// Made before it is needed: showing it must not depend on finding more memory.
inline const std::string kNoMemory = " There are not enough memory! ";

inline const std::string kPathErrorCaption = "Catalogrium3: Error";
inline const std::string kCharacterCaption = "Catalogrium";
inline const std::string kEnterPath = "Please enter Folder name and Path";
inline const std::string kCheckPath = "Please check Folder name and Path";
inline const std::string kCharacterMessage =
    "A folder/file Name cannot contain any of the following characters: \n"
    "                  \\     *     >     <     /     \"     |     :    ?   \n"
    "              \\   is reserved for directory(folder)   breakup.";
