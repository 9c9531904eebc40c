#include "commandline.h"

#include "audiocommands.h"
#include "htmlcommand.h"
#include "othercatalogues.h"
#include "store/collectionfolder.h"
#include "store/discogsimport.h"

#include <QCommandLineParser>
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
        "       rondella --import-tellico ファイル [--all-media] [--collection フォルダー]\n"
        "       rondella --import-discogs CSVファイル [--all-media] [--artist-songs] "
        "[--collection フォルダー]\n"
        "       rondella --export-html 書き出し先のフォルダー [--collection フォルダー]\n"
        "\n"
        "音楽CDと曲の目録 Rondella を開きます。\n"
        "\n"
        "  フォルダー       そのフォルダーのコレクションを開きます。なければ作ります。\n"
        "  --open-last      前回開いたコレクションのフォルダーを開きます"
        "（初めては ~/Rondella を作って開きます）。\n"
        "  --import-audio   音楽ファイルのアルバムを、画面を開かずにコレクションへ取り込みます。\n"
        "  --import-tellico Tellico のコレクション（.tc または .xml）を、画面を開かずに"
        "コレクションへ取り込みます。\n"
        "  --import-discogs Discogs のコレクションの書き出し（CSV）を、画面を開かずに"
        "取り込みます。\n"
        "  --all-media      CD以外（レコード、カセット、DVD）の項目も取り込みます。\n"
        "  --artist-songs   Discogs のCDごとに、アーティストを演奏団体とする曲を一つ追加します。\n"
        "  --export-html    コレクションを、ブラウザーで見られるHTML目録のフォルダーに"
        "書き出します。\n"
        "  --help           この説明を表示します。\n"
        "  --version        版を表示します。\n"
        "\n"
        "オプションもフォルダーもなければ、起動したフォルダーをコレクションのフォルダーとして"
        "開きます（cdkaisou.db がなければ作ります）。\n");
}

// The options every command line of the program knows, by name.
const QString optOpenLast = QStringLiteral("open-last");
const QString optImportAudio = QStringLiteral("import-audio");
const QString optImportTellico = QStringLiteral("import-tellico");
const QString optAllMedia = QStringLiteral("all-media");
const QString optExportHtml = QStringLiteral("export-html");
const QString optCollection = QStringLiteral("collection");
const QString optAllowDuplicates = QStringLiteral("allow-duplicates");
const QString optImportDiscogs = QStringLiteral("import-discogs");
const QString optArtistSongs = QStringLiteral("artist-songs");
const QString optHelp = QStringLiteral("help");
const QString optVersion = QStringLiteral("version");

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QString folderName = QStringLiteral("フォルダー");
    const QString fileName = QStringLiteral("ファイル");
    parser.addOptions({
        QCommandLineOption(optOpenLast),
        QCommandLineOption(optImportAudio, QString(), folderName),
        QCommandLineOption(optImportTellico, QString(), fileName),
        QCommandLineOption(optAllMedia),
        QCommandLineOption(optExportHtml, QString(), folderName),
        QCommandLineOption(optCollection, QString(), folderName),
        QCommandLineOption(optAllowDuplicates),
        QCommandLineOption(optImportDiscogs, QString(), fileName),
        QCommandLineOption(optArtistSongs),
        QCommandLineOption(QStringList{QStringLiteral("h"), optHelp}),
        QCommandLineOption(QStringList{QStringLiteral("v"), optVersion}),
    });
    // Qt's own options, which the application takes out of the arguments
    // itself: read here too, so that the arguments can be judged before any
    // application (and its screen) exists.
    for (const char* name : {"platform",
                             "platformpluginpath",
                             "platformtheme",
                             "plugin",
                             "qwindowgeometry",
                             "qwindowicon",
                             "qwindowtitle",
                             "session",
                             "style",
                             "stylesheet",
                             "display",
                             "geometry",
                             "title",
                             "name",
                             "visual",
                             "ncols",
                             "cmap",
                             "font",
                             "fn",
                             "bg",
                             "background",
                             "fg",
                             "foreground",
                             "btn",
                             "button",
                             "qmljsdebugger"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), folderName));
    for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    CommandLine line;
    auto refuse = [&line](const QString& why) {
        line.refusal = why + QStringLiteral("\n\n") + usage();
        return line;
    };
    // the program's name comes first; a list without it holds nothing to read
    if (arguments.size() <= 1)
        return line;
    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            QStringList named;
            for (const QString& n : parser.unknownOptionNames())
                named << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
            return refuse(QStringLiteral("知らないオプションです: %1").arg(named.join(u' ')));
        }
        // the parser takes any next argument as the value: only the last can lack one
        const QString last = arguments.last();
        for (const QString& name :
             {optImportAudio, optImportTellico, optImportDiscogs, optExportHtml, optCollection})
            if (last == QStringLiteral("--") + name || last == QStringLiteral("-") + name)
                return refuse(QStringLiteral("オプション「%1」の後に%2を指定してください。")
                                  .arg(last,
                                       name == optCollection || name == optImportAudio ? folderName
                                                                                       : fileName));
        // else a value given to an option that takes none
        QStringList written;
        for (const QString& a : arguments.mid(1))
            if (a.startsWith(u'-') && a.contains(u'='))
                written << a;
        return refuse(
            QStringLiteral("オプションの書き方が正しくありません: %1").arg(written.join(u' ')));
    }
    const QStringList positional = parser.positionalArguments();
    line.openLast = parser.isSet(optOpenLast);
    line.allowDuplicates = parser.isSet(optAllowDuplicates);
    line.allMedia = parser.isSet(optAllMedia);
    line.artistSongs = parser.isSet(optArtistSongs);
    line.collection = parser.value(optCollection);
    if (parser.isSet(optHelp)) {
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (parser.isSet(optVersion)) {
        line.action = CommandLine::Action::Version;
        return line;
    }
    if (int(parser.isSet(optImportAudio)) + int(parser.isSet(optImportTellico))
            + int(parser.isSet(optImportDiscogs))
        > 1)
        return refuse(QStringLiteral("取り込みは一度に一つです: --import-audio、--import-tellico "
                                     "と --import-discogs は一緒には指定できません。"));
    if (parser.isSet(optExportHtml)
        && (parser.isSet(optImportAudio) || parser.isSet(optImportTellico)
            || parser.isSet(optImportDiscogs)))
        return refuse(
            QStringLiteral("--export-html は取り込み（--import-…）と一緒には指定できません。"));
    if (parser.isSet(optImportDiscogs)) {
        line.action = CommandLine::Action::ImportDiscogs;
        line.importDiscogs = parser.value(optImportDiscogs);
        if (!positional.isEmpty())
            return refuse(QStringLiteral("取り込みには、指定できないフォルダーです: %1")
                              .arg(positional.join(u' ')));
        if (line.openLast || line.allowDuplicates)
            return refuse(QStringLiteral("--open-last と --allow-duplicates は --import-discogs "
                                         "と一緒には指定できません。"));
        return line;
    }
    if (line.artistSongs)
        return refuse(
            QStringLiteral("--artist-songs は --import-discogs と一緒に指定してください。"));
    if (parser.isSet(optImportTellico)) {
        line.action = CommandLine::Action::ImportTellico;
        line.importTellico = parser.value(optImportTellico);
        if (parser.isSet(optImportAudio) || line.allowDuplicates)
            return refuse(QStringLiteral("--import-tellico と一緒に指定できるのは --all-media と "
                                         "--collection だけです。"));
        if (!positional.isEmpty())
            return refuse(QStringLiteral("取り込みには、指定できないフォルダーです: %1")
                              .arg(positional.join(u' ')));
        if (line.openLast)
            return refuse(
                QStringLiteral("--open-last は --import-tellico と一緒には指定できません。"));
        return line;
    }
    if (line.allMedia)
        return refuse(QStringLiteral(
            "--all-media は --import-tellico か --import-discogs と一緒に指定してください。"));
    if (parser.isSet(optImportAudio)) {
        line.action = CommandLine::Action::ImportAudio;
        line.importAudio = parser.value(optImportAudio);
        if (!positional.isEmpty())
            return refuse(QStringLiteral("取り込みには、指定できないフォルダーです: %1")
                              .arg(positional.join(u' ')));
        if (line.openLast)
            return refuse(
                QStringLiteral("--open-last は --import-audio と一緒には指定できません。"));
        return line;
    }
    if (parser.isSet(optExportHtml)) {
        line.action = CommandLine::Action::ExportHtml;
        line.exportHtml = parser.value(optExportHtml);
        if (!positional.isEmpty())
            return refuse(QStringLiteral("書き出しには、指定できない引数です: %1")
                              .arg(positional.join(u' ')));
        if (line.openLast || line.allowDuplicates)
            return refuse(QStringLiteral("--export-html と一緒に指定できるのは --collection "
                                         "だけです。"));
        return line;
    }
    if (parser.isSet(optCollection) || line.allowDuplicates)
        return refuse(QStringLiteral("--collection は取り込みか --export-html と、"
                                     "--allow-duplicates は --import-audio と一緒に指定して"
                                     "ください。"));
    if (positional.size() > 1)
        return refuse(QStringLiteral("開けるフォルダーは一つです: %1").arg(positional.join(u' ')));
    line.folder = positional.value(0);
    return line;
}

bool isCommandLine(const QStringList& arguments)
{
    for (const QString& a : arguments.mid(1))
        for (const QString& name : {optImportAudio, optImportTellico, optImportDiscogs,
                                    optExportHtml, optHelp, optVersion})
            if (a == QStringLiteral("--") + name || a.startsWith(QStringLiteral("--") + name + u'=')
                || a == QStringLiteral("-") + name.front())
                return true;
    return false;
}

int RunCommandLine(const QStringList& arguments)
{
    const CommandLine line = parseCommandLine(arguments);
    if (!line.refusal.isEmpty()) {
        print(stderr, line.refusal);
        return 2;
    }
    switch (line.action) {
    case CommandLine::Action::ImportAudio:
        return RunImportAudio(line.importAudio,
                              line.collection.isEmpty() ? QDir::currentPath() : line.collection,
                              line.allowDuplicates);
    case CommandLine::Action::ImportTellico:
        return RunImportTellico(line.importTellico,
                                line.collection.isEmpty() ? QDir::currentPath() : line.collection,
                                line.allMedia);
    case CommandLine::Action::ImportDiscogs: {
        discogs::Options options;
        options.allMedia = line.allMedia;
        options.artistSongs = line.artistSongs;
        return RunImportDiscogs(line.importDiscogs,
                                line.collection.isEmpty() ? QDir::currentPath() : line.collection,
                                options);
    }
    case CommandLine::Action::ExportHtml:
        return RunExportHtml(line.exportHtml,
                             line.collection.isEmpty() ? QDir::currentPath() : line.collection);
    case CommandLine::Action::Help:
        print(stdout, usage());
        return 0;
    case CommandLine::Action::Version:
        print(stdout,
              QStringLiteral("Rondella %1（音楽CDと曲の目録）\n")
                  .arg(QStringLiteral(RONDELLA_VERSION)));
        return 0;
    case CommandLine::Action::Window:
        break;
    }
    print(stderr, usage());
    return 2;
}

QString refuseArguments(const QStringList& arguments)
{
    const CommandLine line = parseCommandLine(arguments);
    if (!line.refusal.isEmpty())
        print(stderr, line.refusal);
    return line.refusal;
}

StartFolder startFolderOf(const QStringList& arguments, const QString& lastFolder)
{
    const CommandLine line = parseCommandLine(arguments);
    if (!line.refusal.isEmpty())
        return {QString(), line.refusal};
    if (!line.folder.isEmpty())
        return {QDir::current().absoluteFilePath(line.folder), QString()};
    if (!line.openLast)
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
