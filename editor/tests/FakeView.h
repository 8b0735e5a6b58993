#pragma once

#include "EditorView.h"

#include <deque>
#include <string>
#include <vector>

// Records what the commands show and answers from a script. An unscripted
// dialog is cancelled and an unscripted question answered No, so a command
// that asks more than a test expects ends instead of looping.
class FakeView : public EditorView {
public:
    struct Message {
        std::string text;
        std::string title;
        MessageButtons buttons;
    };
    std::deque<std::string> chosenPaths;
    std::deque<MessageAnswer> answers;

    std::vector<std::string> dialogTitles;
    // Each filter as "description | pattern".
    std::vector<std::string> dialogFilters;
    std::vector<std::string> dialogFolders;
    std::vector<Message> messages;
    NationRows nations;
    std::string helpText;
    std::vector<std::string> statuses;
    std::vector<std::string> launched;
    bool ended = false;
    std::string rememberedFolder;

    std::string ShowOpenDialog(const std::string& title, const form::FileFilter& filter,
                               const std::string& folder) override
    {
        dialogTitles.push_back(title);
        dialogFilters.push_back(std::string(filter.description) + " | " + filter.pattern);
        dialogFolders.push_back(folder);
        if (chosenPaths.empty())
            return {};
        std::string path = chosenPaths.front();
        chosenPaths.pop_front();
        return path;
    }

    MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                              MessageButtons buttons) override
    {
        messages.push_back({text, title, buttons});
        if (buttons == MessageButtons::Ok)
            return MessageAnswer::Ok;
        if (answers.empty())
            return MessageAnswer::No;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    NationRows& lstNations() override { return nations; }
    std::vector<bool> TicksInFile() const
    {
        std::vector<bool> ticks(nations.NationCount());
        for (std::size_t i = 0; i < ticks.size(); ++i)
            ticks[i] = nations.IsTickedInFile(i);
        return ticks;
    }
    std::string RememberedFolder() const override { return rememberedFolder; }
    void RememberFolder(const std::string& folder) override { rememberedFolder = folder; }
    void SetHelpText(const std::string& text) override { helpText = text; }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void Launch(const std::string& address) override { launched.push_back(address); }
    void End() override { ended = true; }
};
