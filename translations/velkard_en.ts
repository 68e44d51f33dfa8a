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
    <name>velkard::app::MainWindow</name>
    <message>
        <source>мониторинг</source>
        <translation>live</translation>
    </message>
    <message>
        <source>Прибор: </source>
        <translation>Instrument: </translation>
    </message>
    <message>
        <source>Ошибка создания файла для записи ЭКГ</source>
        <translation>Cannot create the file for the ECG recording</translation>
    </message>
    <message>
        <source>Сохранить данные?</source>
        <translation>Save the recording?</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с данными об ЭКГ</source>
        <translation>Cannot open the patient&apos;s ECG archive</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>ЭКГ не внесена в архив пациента и сохранена в файле </source>
        <translation>The ECG was not filed into the patient&apos;s card; it is kept in the file </translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Patient</translation>
    </message>
    <message>
        <source>Настройка</source>
        <translation>Setup</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Картотека</source>
        <translation>Card file</translation>
    </message>
    <message>
        <source>Память</source>
        <translation>Memory</translation>
    </message>
    <message>
        <source>Импорт из файла</source>
        <translation>Import from file</translation>
    </message>
    <message>
        <source>Настройка принтера</source>
        <translation>Print setup</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>Параметры</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Старт</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Стоп</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Вперед</source>
        <translation>Forward</translation>
    </message>
    <message>
        <source>Назад</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Масштаб</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>Отведения</source>
        <translation>Leads</translation>
    </message>
    <message>
        <source>Скорость</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>Длительность ЭКГ,с</source>
        <translation>Duration, s</translation>
    </message>
    <message>
        <source>Идёт запись. Сохранить?</source>
        <translation>A recording is in progress. Save it?</translation>
    </message>
    <message>
        <source>Прибор не отвечает: приём остановлен</source>
        <translation>The instrument does not answer: reception stopped</translation>
    </message>
    <message>
        <source>Сохранено: %1, № %2, %3 с</source>
        <translation>Saved: %1, No. %2, %3 s</translation>
    </message>
    <message>
        <source>%1 · возраст %2 · пол %3 · ID %4</source>
        <translation>%1 · age %2 · sex %3 · ID %4</translation>
    </message>
    <message>
        <source>Ctrl+O — картотека
Ctrl+I — импорт из файла
Ctrl+P — печать
PageDown, → — следующая страница
PageUp, ← — предыдущая страница
Циркуль: при просмотре тяните по кривой левой кнопкой мыши — интервал (мс), ЧСС и амплитуда (мВ)
F1 — эта справка</source>
        <translation>Ctrl+O — card file
Ctrl+I — import from file
Ctrl+P — print
PageDown, → — next page
PageUp, ← — previous page
Calipers: in review, drag over the trace with the left mouse button — interval (ms), heart rate and amplitude (mV)
F1 — this help</translation>
    </message>
    <message>
        <source>Клавиши и мышь</source>
        <translation>Keys and mouse</translation>
    </message>
    <message>
        <source>Velkard %1
Программа электрокардиографа: запись, просмотр, измерение и печать ЭКГ.
Свободная программа под лицензией GNU GPL версии 3 или более поздней; без каких-либо гарантий.</source>
        <translation>Velkard %1
The electrocardiograph&apos;s program: records, reviews, measures and prints ECGs.
Free software under the GNU GPL, version 3 or later; without any warranty.</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Справка</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Следующая страница (PageDown, →)</source>
        <translation>Next page (PageDown, →)</translation>
    </message>
    <message>
        <source>Предыдущая страница (PageUp, ←)</source>
        <translation>Previous page (PageUp, ←)</translation>
    </message>
    <message>
        <source>Все ЭКГ</source>
        <translation>All ECGs</translation>
    </message>
    <message>
        <source>Файлы прибора</source>
        <translation>Instrument files</translation>
    </message>
    <message>
        <source>Коэффициенты усиления в заголовке файла противоречат его отсчётам (I + III = II выполняется только для записанных значений): все отведения прочитаны по 1000 единиц на 1 мВ</source>
        <translation>The gains in the file&apos;s header contradict its samples (I + III = II holds on the stored values only): every lead read at 1000 units per mV</translation>
    </message>
    <message>
        <source>Значения вне диапазона прибора ограничены: </source>
        <translation>Values beyond the instrument&apos;s range clipped: </translation>
    </message>
    <message>
        <source>Новый пациент</source>
        <translation>New patient</translation>
    </message>
    <message>
        <source>Положить в карту пациента</source>
        <translation>File into patient&apos;s card</translation>
    </message>
    <message>
        <source>ЭКГ помещена в карту пациента, № </source>
        <translation>ECG filed into the patient&apos;s card, No. </translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Направление принято: %1</source>
        <translation>Order taken: %1</translation>
    </message>
    <message>
        <source>Поставлено в очередь отправки</source>
        <translation>Queued for sending</translation>
    </message>
    <message>
        <source>Рабочий список</source>
        <translation>Worklist</translation>
    </message>
    <message>
        <source>Очередь отправки</source>
        <translation>Outbox</translation>
    </message>
    <message>
        <source>Выберите пациента в картотеке</source>
        <translation>Choose a patient in the card file</translation>
    </message>
    <message>
        <source>Ранее снятые ЭКГ</source>
        <translation>Earlier ECGs</translation>
    </message>
    <message>
        <source>Запросы GDT</source>
        <translation>GDT requests</translation>
    </message>
    <message>
        <source>Запрос GDT принят: %1</source>
        <translation>GDT request taken: %1</translation>
    </message>
    <message>
        <source>Результат GDT не записан в папку обмена: ЭКГ сохранена в карте пациента, запрос не отмечен выполненным
</source>
        <translation>The GDT result was not written into the exchange folder: the ECG is saved in the patient&apos;s card, the request is not marked done
</translation>
    </message>
    <message>
        <source>Результат GDT записан: %1</source>
        <translation>GDT result written: %1</translation>
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
        <translation>Print the grid</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>Apply</translation>
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
    <message>
        <source>Имитатор прибора</source>
        <translation>Simulated instrument</translation>
    </message>
    <message>
        <source>Первый прибор на USB</source>
        <translation>First instrument on USB</translation>
    </message>
    <message>
        <source>Найден прибор</source>
        <translation>Instrument found</translation>
    </message>
    <message>
        <source>Прибор</source>
        <translation>Instrument</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Выберите найденный прибор или имитатор, или введите путь к порту (например, /dev/ttyUSB0)</source>
        <translation>Choose an instrument found or the simulator, or type the port&apos;s path (for example /dev/ttyUSB0)</translation>
    </message>
    <message>
        <source>Вид</source>
        <translation>View</translation>
    </message>
    <message>
        <source>Тёмный фон экрана</source>
        <translation>Dark screen background</translation>
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
        <translation>The patient&apos;s archive is full: it holds 999 recordings. No new ECG can be recorded</translation>
    </message>
    <message>
        <source>Выберите в архиве № ЭКГ</source>
        <translation>Choose an ECG in the archive</translation>
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
        <translation>Write</translation>
    </message>
    <message>
        <source>Архив пациента</source>
        <translation>Patient&apos;s archive</translation>
    </message>
    <message>
        <source>Ф.И.О.</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Sex</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Date of birth</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>Place of birth</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Telephone</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>Insurance policy No.</translation>
    </message>
    <message>
        <source>Ф.И.О.</source>
        <comment>column</comment>
        <translation>Name</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <comment>column</comment>
        <translation>Date of birth</translation>
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
        <translation>Duration, s</translation>
    </message>
    <message>
        <source>Список сохраненных ЭКГ пациента</source>
        <translation>The patient&apos;s recorded ECGs</translation>
    </message>
    <message>
        <source>Ввести в базу данные нового пациента</source>
        <translation>Enter a new patient into the card file</translation>
    </message>
    <message>
        <source>Изменить данные о пациенте</source>
        <translation>Change the patient&apos;s details</translation>
    </message>
    <message>
        <source>Удалить карту пациента из базы</source>
        <translation>Delete the patient&apos;s card from the card file</translation>
    </message>
    <message>
        <source>Вывести на экран ЭКГ из архива</source>
        <translation>Show the chosen ECG</translation>
    </message>
    <message>
        <source>Сохранить ЭКГ из архива в файл EDF+, DICOM, SCP-ECG или HL7 aECG</source>
        <translation>Save the chosen ECG as an EDF+, DICOM, SCP-ECG or HL7 aECG file</translation>
    </message>
    <message>
        <source>Удалить выделенную ЭКГ из  архива</source>
        <translation>Delete the chosen ECG from the archive</translation>
    </message>
    <message>
        <source>Регистрация ЭКГ в реальном времени</source>
        <translation>Record a new ECG live</translation>
    </message>
    <message>
        <source>Ошибка записи в картотеку
</source>
        <translation>Cannot write to the card file
</translation>
    </message>
    <message>
        <source>Ошибка удаления пациента
</source>
        <translation>Cannot remove the patient
</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с ЭКГ</source>
        <translation>Cannot open the ECG file</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с ЭКГ</source>
        <comment>export</comment>
        <translation>Cannot open the ECG file</translation>
    </message>
    <message>
        <source>Удалить запись?</source>
        <translation>Delete the recording?</translation>
    </message>
    <message>
        <source>Ошибка отрытия файла</source>
        <translation>Cannot open the file</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Удалить пациента «%1» и все его записи (%2)?</source>
        <translation>Delete the patient “%1” and all of their recordings (%2)?</translation>
    </message>
    <message>
        <source>Вид</source>
        <comment>column</comment>
        <translation>Kind</translation>
    </message>
    <message>
        <source>Ритмограмма</source>
        <translation>Rhythmogram</translation>
    </message>
    <message>
        <source>Экспорт</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Поиск:</source>
        <translation>Search:</translation>
    </message>
    <message>
        <source>Ф.И.О., ID, полис или дата рождения</source>
        <translation>Name, ID, policy or date of birth</translation>
    </message>
    <message>
        <source>Показать пациентов, у которых Ф.И.О., ID, номер полиса или дата рождения содержат каждое из введённых слов</source>
        <translation>Show the patients whose name, ID, insurance policy number or date of birth contains every word typed</translation>
    </message>
    <message>
        <source>Отправка</source>
        <comment>column</comment>
        <translation>Sending</translation>
    </message>
    <message>
        <source>Отправить</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Отправить ЭКГ в архив (PACS) и в медицинскую систему</source>
        <translation>Send the ECG to the archive (PACS) and the record system</translation>
    </message>
    <message>
        <source>Очередь отправки</source>
        <translation>Outbox</translation>
    </message>
    <message>
        <source>Сравнить</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>Сравнить выделенную ЭКГ с другой ЭКГ этого пациента</source>
        <translation>Compare the chosen ECG with another ECG of this patient</translation>
    </message>
    <message>
        <source>Заключение</source>
        <comment>column</comment>
        <translation>Statements</translation>
    </message>
    <message>
        <source>отчёт не читается</source>
        <translation>report unreadable</translation>
    </message>
    <message>
        <source>Подтверждено</source>
        <translation>Confirmed</translation>
    </message>
    <message>
        <source>не подтверждено</source>
        <translation>unconfirmed</translation>
    </message>
    <message>
        <source>Подтверждено: %1, %2</source>
        <translation>Confirmed: %1, %2</translation>
    </message>
    <message>
        <source>Не подтверждено</source>
        <translation>Unconfirmed</translation>
    </message>
    <message>
        <source>Что отправляется, отправлено или не принято</source>
        <translation>What is being sent, was sent or was refused</translation>
    </message>
    <message>
        <source>Ранее снятые ЭКГ</source>
        <translation>Earlier ECGs</translation>
    </message>
    <message>
        <source>ЭКГ этого пациента в архиве (PACS)</source>
        <translation>This patient&apos;s ECGs in the archive (PACS)</translation>
    </message>
    <message>
        <source>Рабочий список</source>
        <translation>Worklist</translation>
    </message>
    <message>
        <source>Направления на сегодня с сервера рабочего списка</source>
        <translation>Today&apos;s orders from the worklist server</translation>
    </message>
    <message>
        <source>Запросы GDT</source>
        <translation>GDT requests</translation>
    </message>
    <message>
        <source>Запросы программы врачебной практики (GDT)</source>
        <translation>Requests of the practice software (GDT)</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::PatientInputs</name>
    <message>
        <source>Ф.И.О.</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Sex</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Date of birth</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>Place of birth</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Telephone</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>Insurance policy No.</translation>
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
        <translation>Enter the patient&apos;s name and insurance policy number</translation>
    </message>
    <message>
        <source>Введите ФИО пациента</source>
        <translation>Enter the patient&apos;s name</translation>
    </message>
    <message>
        <source>Введите № страхового полиса</source>
        <translation>Enter the insurance policy number</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Ошибка создания ID файла</source>
        <translation>Cannot create the patient&apos;s archive file</translation>
    </message>
    <message>
        <source>Изменить данные о пациенте</source>
        <translation>Change the patient&apos;s details</translation>
    </message>
    <message>
        <source>«%1»: не более %2 знаков</source>
        <translation>“%1”: at most %2 characters</translation>
    </message>
    <message>
        <source>Укажите пол пациента</source>
        <translation>Choose the patient&apos;s sex</translation>
    </message>
    <message>
        <source>В картотеке уже есть пациент с полисом № %1: %2. Создать ещё одного?</source>
        <translation>The card file already holds a patient with policy No. %1: %2. Create another one?</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::UnfiledRecordings</name>
    <message>
        <source>Найдена незавершённая запись пациента %1, %2 с. Сохранить в архив?</source>
        <translation>An unfinished recording of the patient %1 was found, %2 s. File it into the patient&apos;s card?</translation>
    </message>
    <message>
        <source>Запись не внесена в архив и осталась в файле </source>
        <translation>The recording was not filed and stays in the file </translation>
    </message>
    <message>
        <source>Сохранено: %1, № %2, %3 с</source>
        <translation>Saved: %1, No. %2, %3 s</translation>
    </message>
    <message>
        <source>Найдены записи, не внесённые ни в одну карту (%1). Они сохранены в папке %2; внести в карту пациента: velkard-cli recover</source>
        <translation>Recordings filed in no patient&apos;s card were found (%1). They are kept in the folder %2; to file them into a card: velkard-cli recover</translation>
    </message>
</context>
<context>
    <name>velkard::compare::ui::CompareWindow</name>
    <message>
        <source>ЧСС, уд/мин</source>
        <translation>HR, bpm</translation>
    </message>
    <message>
        <source>RR, мс</source>
        <translation>RR, ms</translation>
    </message>
    <message>
        <source>P, мс</source>
        <translation>P, ms</translation>
    </message>
    <message>
        <source>PR, мс</source>
        <translation>PR, ms</translation>
    </message>
    <message>
        <source>QRS, мс</source>
        <translation>QRS, ms</translation>
    </message>
    <message>
        <source>QT, мс</source>
        <translation>QT, ms</translation>
    </message>
    <message>
        <source>QTc (Базетт), мс</source>
        <translation>QTc (Bazett), ms</translation>
    </message>
    <message>
        <source>QTc (Фридеричиа), мс</source>
        <translation>QTc (Fridericia), ms</translation>
    </message>
    <message>
        <source>Ось P, °</source>
        <translation>P axis, °</translation>
    </message>
    <message>
        <source>Ось QRS, °</source>
        <translation>QRS axis, °</translation>
    </message>
    <message>
        <source>Ось T, °</source>
        <translation>T axis, °</translation>
    </message>
    <message>
        <source>Сравнение ЭКГ</source>
        <translation>ECG comparison</translation>
    </message>
    <message>
        <source>Пациент: %1</source>
        <translation>Patient: %1</translation>
    </message>
    <message>
        <source>Дата рождения: %1</source>
        <translation>Born: %1</translation>
    </message>
    <message>
        <source>заключение подтверждено: %1, %2</source>
        <translation>report confirmed: %1, %2</translation>
    </message>
    <message>
        <source>заключение программы, не подтверждено</source>
        <translation>the program&apos;s statements, unconfirmed</translation>
    </message>
    <message>
        <source>Ранее: %1 %2 (%3)</source>
        <translation>Earlier: %1 %2 (%3)</translation>
    </message>
    <message>
        <source>Теперь: %1 %2 (%3)</source>
        <translation>Now: %1 %2 (%3)</translation>
    </message>
    <message>
        <source>Показатель</source>
        <translation>Quantity</translation>
    </message>
    <message>
        <source>Разница</source>
        <translation>Difference</translation>
    </message>
    <message>
        <source>Заключение</source>
        <translation>Statement</translation>
    </message>
    <message>
        <source>Появилось: %1</source>
        <translation>Appeared: %1</translation>
    </message>
    <message>
        <source>Исчезло: %1</source>
        <translation>Disappeared: %1</translation>
    </message>
    <message>
        <source>Без изменений: %1</source>
        <translation>Unchanged: %1</translation>
    </message>
    <message>
        <source>Ни одна ЭКГ не содержит заключений</source>
        <translation>Neither ECG has any statement</translation>
    </message>
    <message>
        <source>%1 мм/с   %2 мм/мВ</source>
        <translation>%1 mm/s   %2 mm/mV</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>Сохранить сравнение на одной странице в файл PDF</source>
        <translation>Save the comparison on one page as a PDF file</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Изменение</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>Появилось</source>
        <translation>Appeared</translation>
    </message>
    <message>
        <source>Исчезло</source>
        <translation>Disappeared</translation>
    </message>
    <message>
        <source>Без изменений</source>
        <translation>Unchanged</translation>
    </message>
    <message>
        <source>Сохранить сравнение ЭКГ в файл PDF</source>
        <translation>Save the ECG comparison as a PDF file</translation>
    </message>
    <message>
        <source>Сравнение ЭКГ %1 %2 и %3</source>
        <translation>ECG comparison %1 %2 and %3</translation>
    </message>
    <message>
        <source>Сравнение не сохранено:
</source>
        <translation>The comparison was not saved:
</translation>
    </message>
    <message>
        <source>Сравнение ЭКГ сохранено в файл PDF
</source>
        <translation>ECG comparison saved as a PDF file
</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>velkard::compare::ui::PickRecordingDialog</name>
    <message>
        <source>Сравнить с ЭКГ</source>
        <translation>Compare with an ECG</translation>
    </message>
    <message>
        <source>С какой ЭКГ сравнить ЭКГ от %1 %2?</source>
        <translation>Which ECG should the ECG of %1 %2 be compared with?</translation>
    </message>
    <message>
        <source>№</source>
        <translation>№</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Длительность, с</source>
        <translation>Duration, s</translation>
    </message>
    <message>
        <source>Сравнить</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с ЭКГ
</source>
        <translation>Cannot open the ECG file
</translation>
    </message>
</context>
<context>
    <name>velkard::exporting::ui::ExportRecording</name>
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
    <message>
        <source>Экспорт</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Экспорт: %1 с из %2 с</source>
        <translation>Export: %1 s of %2 s</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
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
        <source>отключено</source>
        <translation>off</translation>
    </message>
    <message>
        <source>шум</source>
        <translation>noisy</translation>
    </message>
    <message>
        <source>сеть</source>
        <translation>mains</translation>
    </message>
    <message>
        <source>дрейф</source>
        <translation>drift</translation>
    </message>
    <message>
        <source>скачки</source>
        <translation>steps</translation>
    </message>
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
    <message>
        <source>Q, мс</source>
        <translation>Q, ms</translation>
    </message>
    <message>
        <source>Q, мВ</source>
        <translation>Q, mV</translation>
    </message>
    <message>
        <source>R′, мВ</source>
        <translation>R′, mV</translation>
    </message>
    <message>
        <source>ST J, мВ</source>
        <translation>ST J, mV</translation>
    </message>
    <message>
        <source>ST J+60, мВ</source>
        <translation>ST J+60, mV</translation>
    </message>
    <message>
        <source>ST J+80, мВ</source>
        <translation>ST J+80, mV</translation>
    </message>
    <message>
        <source>Сигнал</source>
        <translation>Signal</translation>
    </message>
    <message>
        <source>T, мВ</source>
        <translation>T, mV</translation>
    </message>
    <message>
        <source>Заключение программы (не подтверждено)</source>
        <translation>The program&apos;s statements (unconfirmed)</translation>
    </message>
    <message>
        <source>Заключение</source>
        <translation>Statement</translation>
    </message>
    <message>
        <source>Почему</source>
        <translation>Why</translation>
    </message>
    <message>
        <source>Добавить…</source>
        <translation>Add…</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Изменить текст…</source>
        <translation>Edit text…</translation>
    </message>
    <message>
        <source>Свой текст…</source>
        <translation>Free text…</translation>
    </message>
    <message>
        <source>Подтвердить…</source>
        <translation>Confirm…</translation>
    </message>
    <message>
        <source> (изменено врачом)</source>
        <translation> (edited by the physician)</translation>
    </message>
    <message>
        <source> (добавлено врачом)</source>
        <translation> (added by the physician)</translation>
    </message>
    <message>
        <source>текст врача</source>
        <translation>physician&apos;s text</translation>
    </message>
    <message>
        <source>Заключение, изменённое врачом (не подтверждено)</source>
        <translation>Statements edited by the physician (unconfirmed)</translation>
    </message>
    <message>
        <source>Подтверждено: %1, %2</source>
        <translation>Confirmed: %1, %2</translation>
    </message>
    <message>
        <source>он составлен к записи от %1</source>
        <translation>it was made for the recording of %1</translation>
    </message>
    <message>
        <source>Сохранённый отчёт к этой записи не читается (%1). Показано заключение программы; файл отчёта не изменён и при первом изменении будет сохранён под другим именем.</source>
        <translation>The saved report of this recording cannot be read (%1). The program&apos;s statements are shown; the report file is left unchanged and will be kept under another name at the first change.</translation>
    </message>
    <message>
        <source>Отчёт не сохранён: %1</source>
        <translation>The report was not saved: %1</translation>
    </message>
    <message>
        <source>Выберите заключение в списке.</source>
        <translation>Select a statement in the list.</translation>
    </message>
    <message>
        <source>Добавить заключение</source>
        <translation>Add a statement</translation>
    </message>
    <message>
        <source>Удалить заключение «%1»?</source>
        <translation>Remove the statement “%1”?</translation>
    </message>
    <message>
        <source>Текст заключения</source>
        <translation>Statement text</translation>
    </message>
    <message>
        <source>Заключение:</source>
        <translation>Statement:</translation>
    </message>
    <message>
        <source>Свой текст</source>
        <translation>Free text</translation>
    </message>
    <message>
        <source>Текст врача:</source>
        <translation>Physician&apos;s text:</translation>
    </message>
    <message>
        <source>Подтвердить отчёт</source>
        <translation>Confirm the report</translation>
    </message>
    <message>
        <source>Врач (фамилия, инициалы):</source>
        <translation>Physician (surname, initials):</translation>
    </message>
    <message>
        <source>Отчёт не подтверждён: не указано имя врача.</source>
        <translation>The report was not confirmed: no physician&apos;s name was given.</translation>
    </message>
</context>
<context>
    <name>velkard::memory::ui::DeviceFileList</name>
    <message>
        <source>Память ЭК</source>
        <translation>Instrument&apos;s memory</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Принять</source>
        <translation>Accept</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Выделить всё</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>Снять выделение</source>
        <translation>Select none</translation>
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
        <translation>Instrument&apos;s memory</translation>
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
        <translation>New patient</translation>
    </message>
    <message>
        <source>Положить в карту пациента</source>
        <translation>File into patient&apos;s card</translation>
    </message>
    <message>
        <source>Скачать архив с карты памяти</source>
        <translation>Download from a memory card</translation>
    </message>
    <message>
        <source>Скачать архив с ЭК</source>
        <translation>Download from the instrument</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Фамилия Имя Отчество</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Sex</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Date of birth</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>Place of birth</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Telephone</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>Insurance policy No.</translation>
    </message>
    <message>
        <source>Прибор не найден</source>
        <translation>The instrument is not found</translation>
    </message>
    <message>
        <source>Выберите пациента в картотеке</source>
        <translation>Choose the patient in the card file</translation>
    </message>
    <message>
        <source>Выберите файл ЭКГ для сохранения</source>
        <translation>Choose an ECG file to file</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Файл помещён в карту пациента</source>
        <translation>The file was filed into the patient&apos;s card</translation>
    </message>
    <message>
        <source>Файлы помещены в карту пациента: </source>
        <translation>Files filed into the patient&apos;s card: </translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::EarlierWindow</name>
    <message>
        <source>Ранее снятые ЭКГ</source>
        <translation>Earlier ECGs</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Исследование</source>
        <translation>Study</translation>
    </message>
    <message>
        <source>№ направления</source>
        <translation>Accession No.</translation>
    </message>
    <message>
        <source>ЭКГ</source>
        <translation>ECGs</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Получить ЭКГ из архива и открыть для просмотра и измерения</source>
        <translation>Fetch the ECG from the archive and open it for review and measurement</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Архив (PACS) не настроен: Настройка → Параметры → Сеть</source>
        <translation>No archive (PACS) is set up: Setup → Parameters → Network</translation>
    </message>
    <message>
        <source>Не по чему искать в архиве: у пациента нет ни ID больницы, ни имени
</source>
        <translation>Nothing to search the archive by: the patient has neither a hospital ID nor a name
</translation>
    </message>
    <message>
        <source>Запрос к архиву (%1 из %2)…</source>
        <translation>Asking the archive (%1 of %2)…</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Архив (PACS) недоступен
</source>
        <translation>The archive (PACS) cannot be reached
</translation>
    </message>
    <message>
        <source>Архив (PACS) отказал в запросе
</source>
        <translation>The archive (PACS) refused the request
</translation>
    </message>
    <message>
        <source>В архиве нет ЭКГ пациента с таким именем и датой рождения</source>
        <translation>The archive holds no ECG of a patient with this name and birth date</translation>
    </message>
    <message>
        <source>В архиве нет ЭКГ пациента с ID %1</source>
        <translation>The archive holds no ECG of the patient with ID %1</translation>
    </message>
    <message>
        <source>Исследований с ЭКГ: %1</source>
        <translation>Studies with ECGs: %1</translation>
    </message>
    <message>
        <source>Выберите исследование</source>
        <translation>Choose a study</translation>
    </message>
    <message>
        <source>Получение ЭКГ из архива (%1 из %2)…</source>
        <translation>Fetching the ECG from the archive (%1 of %2)…</translation>
    </message>
    <message>
        <source>ЭКГ не получена из архива
</source>
        <translation>The ECG was not fetched from the archive
</translation>
    </message>
    <message>
        <source>Архив не передал ни одной ЭКГ этого исследования</source>
        <translation>The archive sent no ECG of this study</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::EcgChoiceDialog</name>
    <message>
        <source>В исследовании несколько ЭКГ: выберите одну</source>
        <translation>The study holds several ECGs: choose one</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Серия</source>
        <translation>Series</translation>
    </message>
    <message>
        <source>Отведения</source>
        <translation>Leads</translation>
    </message>
    <message>
        <source>Длительность, с</source>
        <translation>Duration, s</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::GdtWindow</name>
    <message>
        <source>Запросы GDT</source>
        <translation>GDT requests</translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Patient</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <translation>Date of birth</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Sex</translation>
    </message>
    <message>
        <source>№ пациента GDT</source>
        <translation>GDT patient no.</translation>
    </message>
    <message>
        <source>Исследование</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>Файл</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Взять</source>
        <translation>Take</translation>
    </message>
    <message>
        <source>Найти или завести карту пациента по номеру GDT; результат следующей ЭКГ будет записан в папку обмена</source>
        <translation>Find or create the patient&apos;s card by the GDT number; the result of the next ECG is written into the exchange folder</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Папка обмена GDT не настроена: Настройка → Параметры → Сеть</source>
        <translation>No GDT exchange folder is set up: Setup → Parameters → Network</translation>
    </message>
    <message>
        <source>Папка обмена GDT не читается: %1
</source>
        <translation>The GDT exchange folder cannot be read: %1
</translation>
    </message>
    <message>
        <source>В папке обмена GDT %1 нет запросов для %2</source>
        <translation>The GDT exchange folder %1 holds no requests for %2</translation>
    </message>
    <message>
        <source>Запросов: %1</source>
        <translation>Requests: %1</translation>
    </message>
    <message>
        <source>муж</source>
        <translation>M</translation>
    </message>
    <message>
        <source>жен</source>
        <translation>F</translation>
    </message>
    <message>
        <source>Выберите запрос</source>
        <translation>Choose a request</translation>
    </message>
    <message>
        <source>Запрос не принят
</source>
        <translation>The request was not taken
</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::NetworkPage</name>
    <message>
        <source>Сеть</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>AE-титул рабочего места</source>
        <translation>This workstation&apos;s AE title</translation>
    </message>
    <message>
        <source>Станция в рабочем списке</source>
        <translation>Station in the worklist</translation>
    </message>
    <message>
        <source>как AE-титул рабочего места</source>
        <translation>as the workstation&apos;s AE title</translation>
    </message>
    <message>
        <source>Рабочий список</source>
        <translation>Worklist</translation>
    </message>
    <message>
        <source>Архив (PACS)</source>
        <translation>Archive (PACS)</translation>
    </message>
    <message>
        <source>Приёмник HL7</source>
        <translation>HL7 receiver</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>AE-титул</source>
        <translation>AE title</translation>
    </message>
    <message>
        <source>Папка обмена GDT</source>
        <translation>GDT exchange folder</translation>
    </message>
    <message>
        <source>Папка заказов HL7</source>
        <translation>HL7 order folder</translation>
    </message>
    <message>
        <source>Сертификат центра (TLS)</source>
        <translation>CA certificate (TLS)</translation>
    </message>
    <message>
        <source>Отправлять ЭКГ после сохранения</source>
        <translation>Send the ECG after saving</translation>
    </message>
    <message>
        <source>Отправлять ЭКГ после подтверждения отчёта</source>
        <translation>Send the ECG after the report is confirmed</translation>
    </message>
    <message>
        <source>Запрашивать подтверждение хранения (Storage Commitment)</source>
        <translation>Ask the archive to commit storage (Storage Commitment)</translation>
    </message>
    <message>
        <source>Принимать ассоциации на порту</source>
        <translation>Accept associations on port</translation>
    </message>
    <message>
        <source>Ранее снятые ЭКГ получать</source>
        <translation>Fetch earlier ECGs by</translation>
    </message>
    <message>
        <source>Проверить связь</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>%1: AE-титул — от 1 до 16 латинских букв, цифр и знаков без «\»</source>
        <translation>%1: an AE title is 1 to 16 Latin letters, digits and signs without &quot;\&quot;</translation>
    </message>
    <message>
        <source>Не задан ни сервер рабочего списка, ни архив</source>
        <translation>Neither a worklist server nor an archive is set</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>связь есть</source>
        <translation>connected</translation>
    </message>
    <message>
        <source>нет связи</source>
        <translation>no connection</translation>
    </message>
    <message>
        <source>Проверка связи: %1 из %2…</source>
        <translation>Testing the connection: %1 of %2…</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::OutboxWindow</name>
    <message>
        <source>Очередь отправки</source>
        <translation>Outbox</translation>
    </message>
    <message>
        <source>ЭКГ</source>
        <translation>ECG</translation>
    </message>
    <message>
        <source>Куда</source>
        <translation>Destination</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Попыток</source>
        <translation>Attempts</translation>
    </message>
    <message>
        <source>Следующая попытка</source>
        <translation>Next attempt</translation>
    </message>
    <message>
        <source>Повторить</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>Отправить выбранное сейчас</source>
        <translation>Send the chosen item now</translation>
    </message>
    <message>
        <source>Удалить из очереди…</source>
        <translation>Remove from the queue…</translation>
    </message>
    <message>
        <source>Больше не отправлять; ЭКГ остаётся в картотеке</source>
        <translation>Stop sending it; the ECG stays in the card file</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>сейчас</source>
        <translation>now</translation>
    </message>
    <message>
        <source>Приёмник HL7</source>
        <translation>HL7 receiver</translation>
    </message>
    <message>
        <source>Архив (PACS)</source>
        <translation>Archive (PACS)</translation>
    </message>
    <message>
        <source>Очередь пуста</source>
        <translation>The outbox is empty</translation>
    </message>
    <message>
        <source>Ожидают: %1, с ошибкой: %2, отправлено: %3</source>
        <translation>Waiting: %1, failed: %2, sent: %3</translation>
    </message>
    <message>
        <source>Выберите отправку</source>
        <translation>Choose an item</translation>
    </message>
    <message>
        <source>Очередь сейчас отправляется; повторите через несколько секунд</source>
        <translation>The outbox is being sent just now; try again in a few seconds</translation>
    </message>
    <message>
        <source>Уже отправлено</source>
        <translation>Sent already</translation>
    </message>
    <message>
        <source>Больше не отправлять выбранное? ЭКГ остаётся в картотеке.</source>
        <translation>Stop sending the chosen item? The ECG stays in the card file.</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::SendActions</name>
    <message>
        <source>Отправка</source>
        <translation>Sending</translation>
    </message>
    <message>
        <source>Не настроены ни архив (PACS), ни приёмник HL7: Настройка → Параметры → Сеть</source>
        <translation>Neither an archive (PACS) nor an HL7 receiver is set: Setup → Parameters → Network</translation>
    </message>
    <message>
        <source>Ритмограмма не отправляется: в ней нет ЭКГ</source>
        <translation>A rhythmogram is not sent: it holds no ECG</translation>
    </message>
    <message>
        <source>ЭКГ не поставлена в очередь отправки
</source>
        <translation>The ECG was not queued for sending
</translation>
    </message>
    <message>
        <source>отправлено</source>
        <translation>sent</translation>
    </message>
    <message>
        <source>ожидает</source>
        <translation>waiting</translation>
    </message>
    <message>
        <source>ошибка</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>ЭКГ уже в очереди отправки. Повторить отправку сейчас?</source>
        <translation>The ECG is already queued for sending. Try sending it again now?</translation>
    </message>
    <message>
        <source>ЭКГ уже отправлена. Отправить ещё раз?</source>
        <translation>The ECG has already been sent. Send it again?</translation>
    </message>
    <message>
        <source>снято с отправки</source>
        <translation>removed from the queue</translation>
    </message>
    <message>
        <source>отправлено, ожидается подтверждение хранения</source>
        <translation>sent, commitment awaited</translation>
    </message>
    <message>
        <source>хранение подтверждено</source>
        <translation>committed</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::WorklistWindow</name>
    <message>
        <source>Рабочий список</source>
        <translation>Worklist</translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Patient</translation>
    </message>
    <message>
        <source>ID пациента</source>
        <translation>Patient ID</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <translation>Date of birth</translation>
    </message>
    <message>
        <source>№ направления</source>
        <translation>Accession No.</translation>
    </message>
    <message>
        <source>Назначено</source>
        <translation>Scheduled</translation>
    </message>
    <message>
        <source>Исследование</source>
        <translation>Procedure</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Взять</source>
        <translation>Take</translation>
    </message>
    <message>
        <source>Найти или завести карту пациента; следующая ЭКГ будет записана по этому направлению</source>
        <translation>Find or make the patient&apos;s card; the next ECG is recorded for this order</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Сервер рабочего списка не настроен: Настройка → Параметры → Сеть</source>
        <translation>No worklist server is set: Setup → Parameters → Network</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Рабочий список не получен
</source>
        <translation>The worklist was not received
</translation>
    </message>
    <message>
        <source>На сегодня направлений нет</source>
        <translation>No orders for today</translation>
    </message>
    <message>
        <source>Направлений: %1</source>
        <translation>Orders: %1</translation>
    </message>
    <message>
        <source>Выберите направление</source>
        <translation>Choose the order</translation>
    </message>
    <message>
        <source>Направление не принято
</source>
        <translation>The order was not taken
</translation>
    </message>
    <message>
        <source>Запрос к серверу рабочего списка (%1 из %2)…</source>
        <translation>Asking the worklist server (%1 of %2)…</translation>
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
        <translation>Choose a patient&apos;s ECG</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
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
    <message>
        <source>ЭКГ сохранена в файл PDF
</source>
        <translation>The ECG was saved as the PDF file
</translation>
    </message>
    <message>
        <source>ЭКГ %1 %2</source>
        <translation>ECG %1 %2</translation>
    </message>
    <message>
        <source>Отчёт показывает 10 с: он начинается с %1 с, а не с %2 с, так как запись короче</source>
        <translation>The report shows 10 s: it starts at %1 s, not at %2 s, as the recording is shorter</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>Печать: страница %1 из %2</source>
        <translation>Printing: page %1 of %2</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>velkard::print::ui::PrintRangeDialog</name>
    <message>
        <source>Начало,  сек</source>
        <comment>form</comment>
        <translation>Start, s</translation>
    </message>
    <message>
        <source>Конец, сек</source>
        <comment>form</comment>
        <translation>End, s</translation>
    </message>
    <message>
        <source>Отмена</source>
        <comment>form</comment>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Диапазон вывода на печать</source>
        <comment>form</comment>
        <translation>Print range</translation>
    </message>
    <message>
        <source>Все</source>
        <comment>form</comment>
        <translation>All</translation>
    </message>
    <message>
        <source>Выборочно</source>
        <comment>form</comment>
        <translation>Range</translation>
    </message>
    <message>
        <source>Диапазон вывода на печать</source>
        <translation>Print range</translation>
    </message>
    <message>
        <source>Все</source>
        <translation>All</translation>
    </message>
    <message>
        <source>Выборочно</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>Начало, сек</source>
        <translation>Start, s</translation>
    </message>
    <message>
        <source>Конец, сек</source>
        <translation>End, s</translation>
    </message>
    <message>
        <source>Отчёт: 12 отведений на листе, с секунды</source>
        <translation>12-lead report on one page, from second</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Начало отчёта должно быть целым числом секунд</source>
        <translation>The report&apos;s start must be a whole number of seconds</translation>
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
