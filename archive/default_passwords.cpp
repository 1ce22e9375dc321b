#include "archive/default_passwords.h"

#include <string.h>

#include "plugin/plugin_state.h"

namespace {

// One archive's password, in the same block as the node.
struct PasswordNode {
    const ArchiveObject* record;
    PasswordNode* next;
    char password[1];  // zero-terminated; the block is as long as it needs
};

constinit PasswordNode* gPasswords = nullptr;

PasswordNode** LinkOf(const ArchiveObject* record) {
    PasswordNode** link = &gPasswords;
    while (*link != nullptr && (*link)->record != record) link = &(*link)->next;
    return link;
}

}  // namespace

bool RememberDefaultPassword(const ArchiveObject* record, const char* password) {
    PasswordNode* node = nullptr;
    if (password != nullptr && password[0] != '\0') {
        const size_t length = strlen(password);
        node = static_cast<PasswordNode*>(
            System().Alloc(sizeof(PasswordNode) + length, 0, "zpw"));
        if (node == nullptr) return false;
        node->record = record;
        memcpy(node->password, password, length + 1);
    }
    ForgetDefaultPassword(record);
    if (node != nullptr) {
        node->next = gPasswords;
        gPasswords = node;
    }
    return true;
}

const char* DefaultPasswordOf(const ArchiveObject* record) {
    const PasswordNode* node = *LinkOf(record);
    return node != nullptr ? node->password : nullptr;
}

void ForgetDefaultPassword(const ArchiveObject* record) {
    PasswordNode** link = LinkOf(record);
    PasswordNode* node = *link;
    if (node == nullptr) return;
    *link = node->next;
    memset(node->password, 0, strlen(node->password));  // no password lingers in freed memory
    System().Free(node);
}
