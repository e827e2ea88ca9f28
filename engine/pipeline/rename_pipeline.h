#pragma once

#include "engine/model/date.h"
#include "engine/model/file_item.h"
#include "engine/model/metadata_dictionary.h"
#include "engine/model/preview_disk.h"
#include "engine/model/rule.h"
#include "engine/pipeline/padded_number.h"
#include "engine/pipeline/rename_context.h"
#include "engine/pipeline/rename_engine.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The per-file pipeline of a preview: a rule stack turned into new names, destinations and
// statuses for a whole file list. Everything here is pure apart from the existence tests the
// caller hands in (and the symbolic links an organize rule's subfolder is resolved through).
namespace sorvik::RenamePipeline {

/// Extensions (lower case) that make a file the leader of its pair group.
inline constexpr std::array<std::string_view, 8> rawExtensions { "dng", "cr2", "cr3", "nef", "arw",
    "raf", "orf", "rw2" };

/// Whether something exists at a path.
using ExistenceTest = std::function<bool(const FileURL&)>;

/// The new full file name of the context's file under the rule stack (see `PreparedRules`).
/// A caller that names many files with one stack prepares it once instead.
std::string applyRules(const std::vector<Rule>& rules, const RenameContext& context);

/// One row per item, in list order: each file's new name, destination and status under the
/// rule stack. Companion files of a pair group share one number and their leader's new base
/// name, and a group with an excluded member is excluded whole; an organize rule's subfolder
/// must stay inside the file's folder, also through symbolic links; targets collide when
/// their standardized paths are equal ignoring letter case. The rows that would stay or move
/// then meet the disk, with the questions the executor's checks answer before a batch moves
/// anything, so that a row shown ready is one they accept: a row whose file is gone is a
/// problem, and so are two moving rows that are one entry given twice; a moving row's
/// destination folder must be able to take files (missing folders are made; anything else in
/// the way blocks the row unless another ready row moves it away); and a target where
/// something exists blocks its row unless another ready row moves that very entry away.
/// `disk.fileExists` is asked at most once per target, `disk.findSources` once, and
/// `disk.destinationFolder` once per folder outside a file's own. Never throws.
std::vector<PreviewRow> preview(const std::vector<FileItem>& items, const std::vector<Rule>& rules,
    const MetadataMap& metadata, Date now, const PreviewDisk& disk);
/// `preview` of items the caller gives up: each row takes its item rather than a copy, so a
/// long list is not held twice. `items` is left empty.
std::vector<PreviewRow> preview(std::vector<FileItem>&& items, const std::vector<Rule>& rules,
    const MetadataMap& metadata, Date now, const PreviewDisk& disk);

} // namespace sorvik::RenamePipeline
