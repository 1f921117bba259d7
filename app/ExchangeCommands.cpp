// File > Import and Export: other programs' decks in and out.
#include "app/MainWindow.h"

#include "exchange/DeckExport.h"
#include "exchange/DeckImport.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"

#include <QAction>
#include <QMenu>
#include <QProgressDialog>

namespace {
const std::string ImportFilter =
    "Decks of other programs [*.apkg;*.colpkg;*.kvtml;*.tsv;*.txt;*.csv]|*.apkg;*.colpkg;*.kvtml;*.tsv;*.txt;*.csv|"
    "Anki Packages [*.apkg;*.colpkg]|*.apkg;*.colpkg|KVTML Files [*.kvtml]|*.kvtml|"
    "Text Files [*.tsv;*.txt;*.csv]|*.tsv;*.txt;*.csv|All Files [*]|*";
const std::string ExportFilter = "Anki Package [*.apkg]|*.apkg|Tab-separated Text [*.tsv]|*.tsv|"
                                 "Comma-separated Text [*.csv]|*.csv|KVTML File [*.kvtml]|*.kvtml";

bool OverwriteAllowed(const std::string &path)
{
    return !FileExists(path) || AskConfirmation("The file exists. Would you like to overwrite the file?") == MsgResult::Yes;
}
} // namespace

void TF_Main::CreateExchangeCommands()
{
    Import1 = new QAction(QStringLiteral("&Import..."), this);
    Import1->setObjectName(QStringLiteral("Import1"));
    Export1 = new QAction(QStringLiteral("&Export..."), this);
    Export1->setObjectName(QStringLiteral("Export1"));
    File1->insertActions(N1, {Import1, Export1});
    connect(Import1, &QAction::triggered, this, Handler(this, &TF_Main::Import1Click));
    connect(Export1, &QAction::triggered, this, Handler(this, &TF_Main::Export1Click));
}

void TF_Main::Import1Click()
{
    if (!SavePrompt())
        return;
    const auto source = Dialogs().openFileName({ImportFilter, "", "Import"});
    if (!source)
        return;
    if (!FileCanBeRead(*source)) {
        ShowErrorMessage("File not found");
        return;
    }
    const auto deck = Dialogs().saveFileName({DeckSaveFilter, "gsd", "Import As"});
    if (!deck || !OverwriteAllowed(*deck))
        return;
    QProgressDialog progress(QStringLiteral("Importing..."), QStringLiteral("Cancel"), 0, 0, this);
    progress.setObjectName(QStringLiteral("ImportProgress"));
    progress.setWindowTitle(QStringLiteral("Import"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    ImportSummary summary;
    try {
        summary = ImportDeck(*source, *deck, [&progress](int done, int total) {
            progress.setMaximum(total);
            progress.setValue(done);
            return !progress.wasCanceled();
        });
    } catch (const EImportCancelled &) {
        return;
    }
    progress.reset();
    LoadDeck(*deck);
    ShowInformation(summary.Text());
}

void TF_Main::Export1Click()
{
    const auto out = Dialogs().saveFileName({ExportFilter, "apkg", "Export"});
    if (!out)
        return;
    const auto format = FormatOfFileName(*out);
    if (!format) {
        ShowErrorMessage("The exported file's name must end in .apkg, .tsv, .txt, .csv or .kvtml, which tells its format.");
        return;
    }
    if (!OverwriteAllowed(*out))
        return;
    const ExportSummary summary = ExportDeck(Store.WorkFileName, *out, *format);
    SetStatusText(QStringLiteral("Exported to ") + PathFromNative(ExtractFileName(*out)));
    ShowInformation(summary.Text());
}
