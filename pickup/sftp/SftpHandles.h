#pragma once

#include <memory>

#include <libssh/sftp.h>

// Owners of the SFTP library's per-call handles, so every way out of the worker releases
// them.
struct AttributesFree {
    void operator()(sftp_attributes attributes) const { sftp_attributes_free(attributes); }
};
using Attributes = std::unique_ptr<sftp_attributes_struct, AttributesFree>;

struct FileClose {
    void operator()(sftp_file file) const { sftp_close(file); }
};
using RemoteFile = std::unique_ptr<sftp_file_struct, FileClose>;

struct DirClose {
    void operator()(sftp_dir dir) const { sftp_closedir(dir); }
};
using RemoteDir = std::unique_ptr<sftp_dir_struct, DirClose>;
