#include "commandline.h"

#include "audiocommands.h"
#include "store/collectionfolder.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

void print(FILE* to, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
}

QString usage()
{
    return QStringLiteral(
        "使い方: rondella [フォルダー]\n"
        "       rondella --open-last\n"
        "       rondella --import-audio 音楽のフォルダー [--allow-duplicates] "
        "[--collection フォルダー]\n"
        "\n"
        "音楽CDと曲の目録 Rondella を開きます。\n"
        "\n"
        "  フォルダー       そのフォルダーのコレクションを開きます。なければ作ります。\n"
        "  --open-last      前回開いたコレクションのフォルダーを開きます"
        "（初めては ~/Rondella を作って開きます）。\n"
        "  --import-audio   音楽ファイルのアルバムを、画面を開かずにコレクションへ取り込みます。\n"
        "  --help           この説明を表示します。\n"
        "  --version        版を表示します。\n"
        "\n"
        "オプションもフォルダーもなければ、起動したフォルダーをコレクションのフォルダーとして"
        "開きます（cdkaisou.db がなければ作ります）。\n");
}

} // namespace

bool isCommandLine(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("--import-audio"))
        || arguments.contains(QStringLiteral("--help"))
        || arguments.contains(QStringLiteral("--version"));
}

int RunCommandLine(const QStringList& arguments)
{
    if (arguments.contains(QStringLiteral("--import-audio")))
        return RunImportAudio(arguments);
    if (arguments.contains(QStringLiteral("--help"))) {
        print(stdout, usage());
        return 0;
    }
    if (arguments.contains(QStringLiteral("--version"))) {
        print(stdout,
              QStringLiteral("Rondella %1（音楽CDと曲の目録）\n")
                  .arg(QStringLiteral(RONDELLA_VERSION)));
        return 0;
    }
    print(stderr, usage());
    return 2;
}

StartFolder startFolderOf(const QStringList& arguments, const QString& lastFolder)
{
    for (const QString& a : arguments.mid(1))
        if (!a.startsWith(u'-'))
            return {QDir::current().absoluteFilePath(a), QString()};
    if (!arguments.contains(QStringLiteral("--open-last")))
        return {};
    if (lastFolder.isEmpty())
        return {collectionfolder::firstFolder(), QString()};
    if (!QFileInfo(lastFolder).isDir())
        return {QString(),
                QStringLiteral("前回のコレクションのフォルダー「%1」が見つかりません。"
                               "ディスクをつなぎ直すか、端末から rondella フォルダー "
                               "で開くフォルダーを指定してください。")
                    .arg(lastFolder)};
    return {lastFolder, QString()};
}
