#include "core/translate_text.h"

#include <memory>

#include "text/mutex.h"
#include "text/text_convert.h"
#include "core/xlate_table.h"

namespace druvex {
namespace {

// The current table. A lookup copies the pointer under the lock and works on
// its copy, so a language change on the UI thread never unmaps a file under a
// worker thread's lookup. Selections are serialised among themselves so that
// the same-path test and the replacement are one step.
class CurrentTable {
public:
    std::shared_ptr<const XlateTable> get() const
    {
        MutexLock lock(mutex_);
        return table_;
    }

    void set(std::shared_ptr<const XlateTable> table)
    {
        std::shared_ptr<const XlateTable> previous;
        {
            MutexLock lock(mutex_);
            previous.swap(table_);
            table_ = std::move(table);
        }
        // The previous table closes its file here, outside the lock, unless a
        // lookup still holds it.
    }

    Mutex selecting;

private:
    mutable Mutex mutex_;
    std::shared_ptr<const XlateTable> table_ GUARDED_BY(mutex_);
};

// Never destroyed: threads may still translate while the program exits.
CurrentTable& currentTable()
{
    static CurrentTable* instance = new CurrentTable;
    return *instance;
}

}  // namespace

SharedString translateText(const char* key)
{
    if (key == nullptr || *key == '\0')
        return SharedString();
    const SharedString wide = SharedString::fromCodePage(key, kCodePageAnsi);
    return translateTextW(wide.view());
}

SharedString translateTextW(std::u16string_view key)
{
    if (key.empty())
        return SharedString();
    const std::shared_ptr<const XlateTable> table = currentTable().get();
    if (table == nullptr)
        return cutTranslationContext(key);
    return table->lookup(key);
}

SharedString translateTextW(const char16_t* key)
{
    return translateTextW(key ? std::u16string_view(key) : std::u16string_view());
}

SharedString formatTranslated(const char* key, std::initializer_list<PlaceholderText> args)
{
    return formatPlaceholders(translateText(key), args);
}

SharedString formatTranslated(const char* key, PlaceholderText text)
{
    return formatTranslated(key, {text});
}

SharedString translateAndFormat2(const char* key, PlaceholderText text1, PlaceholderText text2)
{
    return formatTranslated(key, {text1, text2});
}

bool selectTranslationFile(std::u16string_view path)
{
    CurrentTable& current = currentTable();
    MutexLock selecting(current.selecting);
    if (const auto table = current.get(); table != nullptr && table->path().view() == path)
        return table->isLoaded();
    // The old table goes before the new file is opened, as a language change
    // always did: during the load every key comes back as itself.
    current.set(nullptr);
    auto table = std::make_shared<const XlateTable>(path);
    const bool loaded = table->isLoaded();
    current.set(std::move(table));
    return loaded;
}

void clearTranslationTable()
{
    CurrentTable& current = currentTable();
    MutexLock selecting(current.selecting);
    current.set(nullptr);
}

}  // namespace druvex
