#pragma once

class EventTreeItem;

// Which dialog edits a parameter whose value is not typed into its cell. The
// model tells the kind (CheckableTreeModel::EditorRole); the page maps the kind
// to its dialog. A new editor is one kind, one row of the table in
// parametereditor.cpp and one row of the page's table.
namespace ParameterEditor
{
enum class Kind {
    None, // typed into the cell
    FileList, // a comma-separated list of files
    DirectoryList, // a comma-separated list of directories
    Directories, // a table of directories with disk-space limits
};

// The editor of a tree item; None for an item typed into its cell or not a parameter.
Kind kindOf(const EventTreeItem *item);
}
