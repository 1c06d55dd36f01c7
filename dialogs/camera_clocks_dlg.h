#pragma once

#include "devices.h"
#include "list_rows.h"

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QListView;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// CCameraClocksDlg shows the devices of the scanned folder, one line each:
// its number of files, its first and last date as read, its clock offset
// (editable as "+h:mm:ss"), the offset proposed against the reference
// device and the dates the offset holds for. A device whose files fall in
// several stored spans has a line for each. A sync pair sets an offset too: a photo of the selected
// device and one of the reference device that show the same moment, each list with small pictures.
// The window works on copies: Cancel changes nothing.
class CCameraClocksDlg : public QDialog {
public:
    // `devices` and `rows` are those of the last scan of `folder`.
    CCameraClocksDlg(QWidget* parent, const velmora::CDeviceTable& devices, const CListRows& rows,
                     const std::string& folder);
    ~CCameraClocksDlg() override;

    // The offset of each device of the table, in seconds, as the user left
    // them; read after exec() returned Accepted.
    const std::vector<std::int64_t>& Offsets() const { return m_offsets; }

    void SelectDevice(std::size_t device);
    void SetReference(std::size_t device);
    void OnUseProposal();
    void OnSetFromPair();

    // The controls, for tests. Table lines follow the device table, without
    // devices that have no file.
    QTableWidget& Table() { return *m_table; }
    QComboBox& ReferenceBox() { return *m_comboReference; }
    QListView& DeviceFiles() { return *m_listDevice; }
    QListView& ReferenceFiles() { return *m_listReference; }
    QPushButton& UseProposalButton() { return *m_btnUseProposal; }
    QPushButton& SetFromPairButton() { return *m_btnSetFromPair; }

    enum Column {
        ColDevice,
        ColFiles,
        ColFirst,
        ColLast,
        ColOffset,
        ColProposal,
        ColHoldsFor, // the stored span the offset holds for
        kColumns
    };

protected:
    virtual void MessageBox(const QString& text, const QString& caption, unsigned flags);

private:
    class CFileModel;

    void FillTable();
    void ShowOffset(std::size_t device);
    void ShowProposals();
    void UpdateButtons();
    void OnItemChanged(QTableWidgetItem* item);
    void OnCurrentLineChanged();
    // The dated files of `device` whose dates its clock gave, by date as read.
    void FillFiles(CFileModel& model, std::size_t device);
    int LineOf(std::size_t device) const; // -1 when it has none

    const velmora::CDeviceTable& m_devices;
    const CListRows& m_rows;
    std::vector<std::int64_t> m_offsets;
    std::vector<std::size_t> m_lines; // device index of each table line
    std::vector<int> m_lineOf;        // and back: each device's line, -1 for none
    std::size_t m_nSelected = 0;
    std::size_t m_nReference = 0;
    std::optional<velmora::COffsetProposals> m_proposals; // against m_nReference

    QTableWidget* m_table = nullptr;
    QPushButton* m_btnUseProposal = nullptr;
    QComboBox* m_comboReference = nullptr;
    QLabel* m_labelDevice = nullptr;
    QLabel* m_labelReference = nullptr;
    QListView* m_listDevice = nullptr;
    QListView* m_listReference = nullptr;
    CFileModel* m_modelDevice = nullptr;
    CFileModel* m_modelReference = nullptr;
    QPushButton* m_btnSetFromPair = nullptr;
};
