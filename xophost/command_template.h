// A command template as a module registers it, e.g.
//   "MBWrite /L /F /Q IP=string:hostName, Coil={number:addressCoil, number:valueCoil}"
//   "MBReadWave /U=number:unitId /DEST=DataFolderAndName:{dest,real} data=wave:values"
// and the runtime parameter record it implies, as Igor lays it out: per flag and per keyword a
// 32-bit "given" word, its parameters (8 bytes each: a double, a text handle or a wave handle; a
// DataFolderAndName takes 40) and one 32-bit "set" word per parameter (a flag without parameters
// is its "given" word alone); then the calling context (called from a function, called from a
// macro: 32 bits each) and, for a thread-safe operation, the 8-byte thread pointer.
#ifndef XOPHOST_COMMAND_TEMPLATE_H
#define XOPHOST_COMMAND_TEMPLATE_H

#include <cstddef>
#include <string>
#include <vector>

enum class ParamType { Number, String, Wave, FolderAndName };

struct TemplateParam {
    ParamType type;
    std::string name;
    std::size_t offset;
};

struct TemplateKeyword {
    std::string name;
    std::vector<TemplateParam> params;
    std::size_t givenOffset;
    std::size_t setOffset; // first "set" word
};

struct TemplateFlag {
    std::string name;
    std::size_t offset; // the "given" word
    std::vector<TemplateParam> params;
    std::size_t setOffset;
};

class CommandTemplate {
public:
    // Parses the text; on failure returns false and describes the problem in error.
    bool parse(const std::string &text, std::string &error);

    const std::string &name() const { return name_; }
    const std::vector<TemplateFlag> &flags() const { return flags_; }
    const std::vector<TemplateKeyword> &keywords() const { return keywords_; }
    // Where the calling context starts, and the whole record's size.
    std::size_t contextOffset() const { return contextOffset_; }
    std::size_t recordSize(bool threadSafe) const { return contextOffset_ + 8 + (threadSafe ? 8 : 0); }

    // Case-insensitive lookups, as on the host's command line; null when absent.
    const TemplateFlag *findFlag(const std::string &name) const;
    const TemplateKeyword *findKeyword(const std::string &name) const;

private:
    std::string name_;
    std::vector<TemplateFlag> flags_;
    std::vector<TemplateKeyword> keywords_;
    std::size_t contextOffset_ = 0;
};

bool sameNameIgnoringCase(const std::string &a, const std::string &b);

#endif
