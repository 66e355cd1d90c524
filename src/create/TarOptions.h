#pragma once
// The attributes given to the entries of the next tar written from the create
// page. They apply to one archive: after each tar they are back at the defaults.

#include <QString>
#include <cstdint>

struct TTarOptions {
    bool ownerRead = false, ownerWrite = false, ownerExecute = false;
    bool groupRead = false, groupWrite = false, groupExecute = false;
    bool otherRead = true, otherWrite = true, otherExecute = true;
    bool contiguous = false;  // kept, but entries are always written as regular files
    QString volumeHeader;     // up to 255 characters
    uint32_t userId = 0;
    uint32_t groupId = 0;
    QString userName;         // up to 255 characters
    QString groupName;        // up to 255 characters
    QString magic;            // up to 255 characters; empty gives eight spaces
    // Until the options dialog chooses the nine flags, every entry keeps its
    // own file's permission bits.
    bool permissionsChosen = false;

    void Reset() { *this = TTarOptions(); }
    // The nine permission flags as a mode mask, and set from one.
    uint16_t Permissions() const;
    void SetPermissions(uint16_t mode);
};
