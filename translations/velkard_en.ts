<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>Application</name>
    <message>
        <source>Недостаточно памяти для этого действия.</source>
        <translation>There is not enough memory for this action.</translation>
    </message>
</context>
<context>
    <name>velkard::app::ParametersDialog</name>
    <message>
        <source>Параметры</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>Печать сетки</source>
        <translation>Print of grid</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>To apply</translation>
    </message>
    <message>
        <source>Фильтры</source>
        <translation>Filters</translation>
    </message>
    <message>
        <source>Сетевой фильтр</source>
        <translation>Mains filter</translation>
    </message>
    <message>
        <source>Дрейф изолинии</source>
        <translation>Baseline wander</translation>
    </message>
    <message>
        <source>Мышечный тремор</source>
        <translation>Muscle tremor</translation>
    </message>
    <message>
        <source>50 Гц</source>
        <translation>50 Hz</translation>
    </message>
    <message>
        <source>60 Гц</source>
        <translation>60 Hz</translation>
    </message>
    <message>
        <source>выкл.</source>
        <translation>off</translation>
    </message>
    <message>
        <source>0,05 Гц</source>
        <translation>0.05 Hz</translation>
    </message>
    <message>
        <source>0,5 Гц</source>
        <translation>0.5 Hz</translation>
    </message>
    <message>
        <source>35 Гц</source>
        <translation>35 Hz</translation>
    </message>
    <message>
        <source>40 Гц</source>
        <translation>40 Hz</translation>
    </message>
    <message>
        <source>выкл. (150 Гц)</source>
        <translation>off (150 Hz)</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::CardFileWindow</name>
    <message>
        <source>Выберите пациента</source>
        <translation>Choose the patient</translation>
    </message>
    <message>
        <source>Архив пациента заполнен: в нём 999 записей. Новая ЭКГ не может быть записана</source>
        <translation>The archive of the patient is full: it holds 999 records. A new ECG cannot be written</translation>
    </message>
    <message>
        <source>Выберите в архиве № ЭКГ</source>
        <translation>Choose in archive № ECG</translation>
    </message>
    <message>
        <source>Картотека занята: её изменяет другая программа или рабочее место. Повторите через несколько секунд.</source>
        <translation>The card file is busy: another program or workstation is changing it. Try again in a few seconds.</translation>
    </message>
    <message>
        <source>Ошибка открытия картотеки
</source>
        <translation>Cannot open the card file
</translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Patient</translation>
    </message>
    <message>
        <source>Новый пациент</source>
        <translation>New patient</translation>
    </message>
    <message>
        <source>Изменить</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Запись</source>
        <translation>Write Velkard</translation>
    </message>
    <message>
        <source>Архив пациента</source>
        <translation>Archive of the patient</translation>
    </message>
    <message>
        <source>Ф.И.О.</source>
        <translation>Surname, name</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Sex</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Date of birth </translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>The birthplace</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>The address</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>The telephone</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>The medical insurance policy</translation>
    </message>
    <message>
        <source>Ф.И.О.</source>
        <comment>column</comment>
        <translation>Surname, Name</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <comment>column</comment>
        <translation>Date birth</translation>
    </message>
    <message>
        <source>Пол</source>
        <comment>column</comment>
        <translation>Sex</translation>
    </message>
    <message>
        <source>№</source>
        <comment>column</comment>
        <translation>№</translation>
    </message>
    <message>
        <source>Дата</source>
        <comment>column</comment>
        <translation>Date</translation>
    </message>
    <message>
        <source>Время</source>
        <comment>column</comment>
        <translation>Time</translation>
    </message>
    <message>
        <source>Длительность ЭКГ,с</source>
        <comment>column</comment>
        <translation>Duration ECG,s</translation>
    </message>
    <message>
        <source>Список сохраненных ЭКГ пациента</source>
        <translation>Список сохраненных ЭКГ пациента</translation>
    </message>
    <message>
        <source>Ввести в базу данные нового пациента</source>
        <translation>Ввести в базу данные нового пациента</translation>
    </message>
    <message>
        <source>Изменить данные о пациенте</source>
        <translation>Изменить данные о пациенте</translation>
    </message>
    <message>
        <source>Удалить карту пациента из базы</source>
        <translation>Удалить карту пациента из базы</translation>
    </message>
    <message>
        <source>Вывести на экран ЭКГ из архива</source>
        <translation>Вывести на экран ЭКГ из архива</translation>
    </message>
    <message>
        <source>Сохранить ЭКГ из архива в файл EDF+, DICOM, SCP-ECG или HL7 aECG</source>
        <translation>Сохранить ЭКГ из архива в файл EDF+, DICOM, SCP-ECG или HL7 aECG</translation>
    </message>
    <message>
        <source>Удалить выделенную ЭКГ из  архива</source>
        <translation>Удалить выделенную ЭКГ из  архива</translation>
    </message>
    <message>
        <source>Регистрация ЭКГ в реальном времени</source>
        <translation>Регистрация ЭКГ в реальном времени</translation>
    </message>
    <message>
        <source>Ошибка записи в картотеку
</source>
        <translation>Cannot write to the card file
</translation>
    </message>
    <message>
        <source>Удалить пациента и все его записи?</source>
        <translation>To remove the patient and all his records?</translation>
    </message>
    <message>
        <source>Ошибка удаления пациента
</source>
        <translation>Cannot remove the patient
</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с ЭКГ</source>
        <translation>Ошибка открытия файла с ЭКГ</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с ЭКГ</source>
        <comment>export</comment>
        <translation>Cannot open the ECG file</translation>
    </message>
    <message>
        <source>Удалить запись?</source>
        <translation>To remove record?</translation>
    </message>
    <message>
        <source>Ошибка отрытия файла</source>
        <translation>Ошибка отрытия файла</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::ExportRecording</name>
    <message>
        <source>Ошибка открытия файла с ЭКГ</source>
        <translation>Cannot open the ECG file</translation>
    </message>
    <message>
        <source>Ритмограмма не содержит отведений ЭКГ и не экспортируется</source>
        <translation>A rhythmogram holds no ECG leads and cannot be exported</translation>
    </message>
    <message>
        <source>Запись ЭКГ пуста</source>
        <translation>The ECG recording is empty</translation>
    </message>
    <message>
        <source>Формат SCP-ECG вмещает не более 40 с записи и не вмещает запись A2 после первых 10 с; выберите EDF+, DICOM или HL7 aECG</source>
        <translation>SCP-ECG holds at most 40 s and not an A2 recording beyond its first 10 s; choose EDF+, DICOM or HL7 aECG</translation>
    </message>
    <message>
        <source>Не удалось записать файл (папка только для чтения или диск заполнен); файл не создан</source>
        <translation>Cannot write the file (read-only folder or full disk); no file was made</translation>
    </message>
    <message>
        <source>Ошибка экспорта</source>
        <translation>Export failed</translation>
    </message>
    <message>
        <source>Экспорт</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>EDF+ для программ просмотра (*.edf)</source>
        <translation>EDF+ for signal viewers (*.edf)</translation>
    </message>
    <message>
        <source>DICOM ЭКГ для архива изображений (*.dcm)</source>
        <translation>DICOM ECG for image archives (*.dcm)</translation>
    </message>
    <message>
        <source>Экспорт ЭКГ</source>
        <translation>Export ECG</translation>
    </message>
    <message>
        <source>ЭКГ экспортирована в файл
</source>
        <translation>The ECG was exported to
</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::PatientInputs</name>
    <message>
        <source>Ф.И.О.</source>
        <translation>Surname, name</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Sex</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>    Date of birth</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>   The birthplace</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>The address</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>The telephone</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>   The medical insurance policy</translation>
    </message>
    <message>
        <source>Муж</source>
        <translation>men</translation>
    </message>
    <message>
        <source>Жен</source>
        <translation>wom</translation>
    </message>
    <message>
        <source>Новый пациент</source>
        <translation>New patient</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Введите ФИО пациента и № страхового полиса</source>
        <translation>Enter surname, name of the patient and № of the insurance policy</translation>
    </message>
    <message>
        <source>Введите ФИО пациента</source>
        <translation>Enter surname, name of the patient</translation>
    </message>
    <message>
        <source>Введите № страхового полиса</source>
        <translation>Enter № of the insurance policy</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Ошибка создания ID файла</source>
        <translation>Ошибка создания ID файла</translation>
    </message>
    <message>
        <source>Изменить данные о пациенте</source>
        <translation>Change of Data on the Patient</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::Calipers</name>
    <message>
        <source>,</source>
        <translation>.</translation>
    </message>
    <message>
        <source>Δt %1 мс  %2 уд/мин  ΔU %3 мВ</source>
        <translation>Δt %1 ms  %2 bpm  ΔU %3 mV</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::HeartRateLabel</name>
    <message>
        <source>ЧСС</source>
        <translation>HR</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::MeasurementsController</name>
    <message>
        <source>Измерения</source>
        <translation>Measurements</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::MeasurementsWindow</name>
    <message>
        <source>ЧСС</source>
        <translation>Heart rate</translation>
    </message>
    <message>
        <source>уд/мин</source>
        <translation>bpm</translation>
    </message>
    <message>
        <source>RR</source>
        <translation>RR</translation>
    </message>
    <message>
        <source>мс</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>P</source>
        <translation>P</translation>
    </message>
    <message>
        <source>PR</source>
        <translation>PR</translation>
    </message>
    <message>
        <source>QRS</source>
        <translation>QRS</translation>
    </message>
    <message>
        <source>QT</source>
        <translation>QT</translation>
    </message>
    <message>
        <source>QTc (Базетт)</source>
        <translation>QTc (Bazett)</translation>
    </message>
    <message>
        <source>QTc (Фридеричиа)</source>
        <translation>QTc (Fridericia)</translation>
    </message>
    <message>
        <source>Ось P</source>
        <translation>P axis</translation>
    </message>
    <message>
        <source>Ось QRS</source>
        <translation>QRS axis</translation>
    </message>
    <message>
        <source>Ось T</source>
        <translation>T axis</translation>
    </message>
    <message>
        <source>SV1 + RV5 (Соколов–Лайон)</source>
        <translation>SV1 + RV5 (Sokolow–Lyon)</translation>
    </message>
    <message>
        <source>мВ</source>
        <translation>mV</translation>
    </message>
    <message>
        <source>Измерения</source>
        <translation>Measurements</translation>
    </message>
    <message>
        <source>R, мВ</source>
        <translation>R, mV</translation>
    </message>
    <message>
        <source>S, мВ</source>
        <translation>S, mV</translation>
    </message>
    <message>
        <source>С %1 по %2 с, комплексов в медиане: %3</source>
        <translation>From %1 to %2 s, beats in the median: %3</translation>
    </message>
</context>
<context>
    <name>velkard::memory::ui::DeviceFileList</name>
    <message>
        <source>Память ЭК</source>
        <translation>Memory EC</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>To update</translation>
    </message>
    <message>
        <source>Принять</source>
        <translation>To accept</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Выделить всё</source>
        <translation>Allocate all</translation>
    </message>
    <message>
        <source>Снять выделение</source>
        <translation>To remove allocation</translation>
    </message>
    <message>
        <source>Удалить выбранные файлы (%1) с карты памяти прибора?</source>
        <translation>Delete the selected files (%1) from the device&apos;s memory card?</translation>
    </message>
</context>
<context>
    <name>velkard::memory::ui::MemoryWindow</name>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Память</source>
        <translation>Memory</translation>
    </message>
    <message>
        <source>Память ЭК</source>
        <translation>Memory EC</translation>
    </message>
    <message>
        <source>Карта памяти</source>
        <translation>Memory card</translation>
    </message>
    <message>
        <source>Картотека</source>
        <translation>Card file</translation>
    </message>
    <message>
        <source>Новая карта пациента</source>
        <translation>New card of the patient</translation>
    </message>
    <message>
        <source>Положить в карту пациента</source>
        <translation>To put in the card of the patient</translation>
    </message>
    <message>
        <source>Скачать архив с карты памяти</source>
        <translation>To download archive from a memory card</translation>
    </message>
    <message>
        <source>Скачать архив с ЭК</source>
        <translation>To download archive from the EC</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Фамилия Имя Отчество</source>
        <translation>Surname, name</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Sex</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Date of birth </translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>The birthplace</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>The address</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>The telephone</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>The medical insurance policy</translation>
    </message>
    <message>
        <source>Прибор не найден</source>
        <translation>The device is not found</translation>
    </message>
    <message>
        <source>Выберите пациента в картотеке</source>
        <translation>Choose the patient in a card file</translation>
    </message>
    <message>
        <source>Выберите файл ЭКГ для сохранения</source>
        <translation>Choose a file ECG for preservation</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Файл помещён в карту пациента</source>
        <translation>The file is put in the patient&apos;s card</translation>
    </message>
    <message>
        <source>Файлы помещены в карту пациента: </source>
        <translation>Files put in the patient&apos;s card: </translation>
    </message>
</context>
<context>
    <name>velkard::print::ui::PrintCommands</name>
    <message>
        <source>Сохранить ЭКГ в файл PDF</source>
        <translation>Save the ECG as a PDF file</translation>
    </message>
    <message>
        <source>Начало отчёта должно быть целым числом секунд</source>
        <translation>The report&apos;s start must be a whole number of seconds</translation>
    </message>
    <message>
        <source>Ошибка печати</source>
        <translation>Printing failed</translation>
    </message>
    <message>
        <source>Выберите ЭКГ пациента</source>
        <translation>Выберите ЭКГ пациента</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Ошибка печати: </source>
        <translation>Printing failed: </translation>
    </message>
    <message>
        <source>Нет установленных принтеров: «Печать» сохранит ЭКГ в файл PDF</source>
        <translation>No printer is installed: Print saves the ECG as a PDF file</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>velkard::print::ui::PrintRangeDialog</name>
    <message>
        <source>Начало,  сек</source>
        <comment>form</comment>
        <translation>Начало,  сек</translation>
    </message>
    <message>
        <source>Конец, сек</source>
        <comment>form</comment>
        <translation>Конец, сек</translation>
    </message>
    <message>
        <source>Отмена</source>
        <comment>form</comment>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Диапазон вывода на печать</source>
        <comment>form</comment>
        <translation>Диапазон вывода на печать</translation>
    </message>
    <message>
        <source>Все</source>
        <comment>form</comment>
        <translation>Все</translation>
    </message>
    <message>
        <source>Выборочно</source>
        <comment>form</comment>
        <translation>Выборочно</translation>
    </message>
    <message>
        <source>Диапазон вывода на печать</source>
        <translation>Range of a conclusion оn а print</translation>
    </message>
    <message>
        <source>Все</source>
        <translation>All</translation>
    </message>
    <message>
        <source>Выборочно</source>
        <translation>Selectively</translation>
    </message>
    <message>
        <source>Начало, сек</source>
        <translation>Begining, sec</translation>
    </message>
    <message>
        <source>Конец, сек</source>
        <translation>The end, sec</translation>
    </message>
    <message>
        <source>Отчёт: 12 отведений на листе, с секунды</source>
        <translation>12-lead report on one page, from second</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>velkard::ui</name>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Внимание</source>
        <translation>Attention</translation>
    </message>
</context>
<context>
    <name>velkard::ui::LanguageMenu</name>
    <message>
        <source>Язык</source>
        <translation>Language</translation>
    </message>
</context>
</TS>
