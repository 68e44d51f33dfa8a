<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="ru_RU">
<context>
    <name>Application</name>
    <message>
        <source>Недостаточно памяти для этого действия.</source>
        <translation>Недостаточно памяти для этого действия.</translation>
    </message>
</context>
<context>
    <name>velkard::app::MainWindow</name>
    <message>
        <source>мониторинг</source>
        <translation>мониторинг</translation>
    </message>
    <message>
        <source>Прибор: </source>
        <translation>Прибор: </translation>
    </message>
    <message>
        <source>Ошибка создания файла для записи ЭКГ</source>
        <translation>Ошибка создания файла для записи ЭКГ</translation>
    </message>
    <message>
        <source>Сохранить данные?</source>
        <translation>Сохранить данные?</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с данными об ЭКГ</source>
        <translation>Ошибка открытия файла с данными об ЭКГ</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>ЭКГ не внесена в архив пациента и сохранена в файле </source>
        <translation>ЭКГ не внесена в архив пациента и сохранена в файле </translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Пациент</translation>
    </message>
    <message>
        <source>Настройка</source>
        <translation>Настройка</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Картотека</source>
        <translation>Картотека</translation>
    </message>
    <message>
        <source>Память</source>
        <translation>Память</translation>
    </message>
    <message>
        <source>Импорт из файла</source>
        <translation>Импорт из файла</translation>
    </message>
    <message>
        <source>Настройка принтера</source>
        <translation>Настройка принтера</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Печать</translation>
    </message>
    <message>
        <source>Параметры</source>
        <translation>Параметры</translation>
    </message>
    <message>
        <source>Старт</source>
        <translation>Старт</translation>
    </message>
    <message>
        <source>Стоп</source>
        <translation>Стоп</translation>
    </message>
    <message>
        <source>Вперед</source>
        <translation>Вперед</translation>
    </message>
    <message>
        <source>Назад</source>
        <translation>Назад</translation>
    </message>
    <message>
        <source>Масштаб</source>
        <translation>Масштаб</translation>
    </message>
    <message>
        <source>Отведения</source>
        <translation>Отведения</translation>
    </message>
    <message>
        <source>Скорость</source>
        <translation>Скорость</translation>
    </message>
    <message>
        <source>Длительность ЭКГ,с</source>
        <translation>Длительность ЭКГ,с</translation>
    </message>
    <message>
        <source>Идёт запись. Сохранить?</source>
        <translation>Идёт запись. Сохранить?</translation>
    </message>
    <message>
        <source>Прибор не отвечает: приём остановлен</source>
        <translation>Прибор не отвечает: приём остановлен</translation>
    </message>
    <message>
        <source>Сохранено: %1, № %2, %3 с</source>
        <translation>Сохранено: %1, № %2, %3 с</translation>
    </message>
    <message>
        <source>%1 · возраст %2 · пол %3 · ID %4</source>
        <translation>%1 · возраст %2 · пол %3 · ID %4</translation>
    </message>
    <message>
        <source>Ctrl+O — картотека
Ctrl+I — импорт из файла
Ctrl+P — печать
PageDown, → — следующая страница
PageUp, ← — предыдущая страница
Циркуль: при просмотре тяните по кривой левой кнопкой мыши — интервал (мс), ЧСС и амплитуда (мВ)
F1 — эта справка</source>
        <translation>Ctrl+O — картотека
Ctrl+I — импорт из файла
Ctrl+P — печать
PageDown, → — следующая страница
PageUp, ← — предыдущая страница
Циркуль: при просмотре тяните по кривой левой кнопкой мыши — интервал (мс), ЧСС и амплитуда (мВ)
F1 — эта справка</translation>
    </message>
    <message>
        <source>Клавиши и мышь</source>
        <translation>Клавиши и мышь</translation>
    </message>
    <message>
        <source>Velkard %1
Программа электрокардиографа: запись, просмотр, измерение и печать ЭКГ.
Свободная программа под лицензией GNU GPL версии 3 или более поздней; без каких-либо гарантий.</source>
        <translation>Velkard %1
Программа электрокардиографа: запись, просмотр, измерение и печать ЭКГ.
Свободная программа под лицензией GNU GPL версии 3 или более поздней; без каких-либо гарантий.</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>Справка</source>
        <translation>Справка</translation>
    </message>
    <message>
        <source>Следующая страница (PageDown, →)</source>
        <translation>Следующая страница (PageDown, →)</translation>
    </message>
    <message>
        <source>Предыдущая страница (PageUp, ←)</source>
        <translation>Предыдущая страница (PageUp, ←)</translation>
    </message>
    <message>
        <source>Все ЭКГ</source>
        <translation>Все ЭКГ</translation>
    </message>
    <message>
        <source>Файлы прибора</source>
        <translation>Файлы прибора</translation>
    </message>
    <message>
        <source>Коэффициенты усиления в заголовке файла противоречат его отсчётам (I + III = II выполняется только для записанных значений): все отведения прочитаны по 1000 единиц на 1 мВ</source>
        <translation>Коэффициенты усиления в заголовке файла противоречат его отсчётам (I + III = II выполняется только для записанных значений): все отведения прочитаны по 1000 единиц на 1 мВ</translation>
    </message>
    <message>
        <source>Значения вне диапазона прибора ограничены: </source>
        <translation>Значения вне диапазона прибора ограничены: </translation>
    </message>
    <message>
        <source>Новый пациент</source>
        <translation>Новый пациент</translation>
    </message>
    <message>
        <source>Положить в карту пациента</source>
        <translation>Положить в карту пациента</translation>
    </message>
    <message>
        <source>ЭКГ помещена в карту пациента, № </source>
        <translation>ЭКГ помещена в карту пациента, № </translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Информация</translation>
    </message>
    <message>
        <source>Направление принято: %1</source>
        <translation>Направление принято: %1</translation>
    </message>
    <message>
        <source>Поставлено в очередь отправки</source>
        <translation>Поставлено в очередь отправки</translation>
    </message>
    <message>
        <source>Рабочий список</source>
        <translation>Рабочий список</translation>
    </message>
    <message>
        <source>Очередь отправки</source>
        <translation>Очередь отправки</translation>
    </message>
    <message>
        <source>Выберите пациента в картотеке</source>
        <translation>Выберите пациента в картотеке</translation>
    </message>
    <message>
        <source>Ранее снятые ЭКГ</source>
        <translation>Ранее снятые ЭКГ</translation>
    </message>
    <message>
        <source>Запросы GDT</source>
        <translation>Запросы GDT</translation>
    </message>
    <message>
        <source>Запрос GDT принят: %1</source>
        <translation>Запрос GDT принят: %1</translation>
    </message>
    <message>
        <source>Результат GDT не записан в папку обмена: ЭКГ сохранена в карте пациента, запрос не отмечен выполненным
</source>
        <translation>Результат GDT не записан в папку обмена: ЭКГ сохранена в карте пациента, запрос не отмечен выполненным
</translation>
    </message>
    <message>
        <source>Результат GDT записан: %1</source>
        <translation>Результат GDT записан: %1</translation>
    </message>
</context>
<context>
    <name>velkard::app::ParametersDialog</name>
    <message>
        <source>Параметры</source>
        <translation>Параметры</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Печать</translation>
    </message>
    <message>
        <source>Печать сетки</source>
        <translation>Печать сетки</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>Применить</translation>
    </message>
    <message>
        <source>Фильтры</source>
        <translation>Фильтры</translation>
    </message>
    <message>
        <source>Сетевой фильтр</source>
        <translation>Сетевой фильтр</translation>
    </message>
    <message>
        <source>Дрейф изолинии</source>
        <translation>Дрейф изолинии</translation>
    </message>
    <message>
        <source>Мышечный тремор</source>
        <translation>Мышечный тремор</translation>
    </message>
    <message>
        <source>50 Гц</source>
        <translation>50 Гц</translation>
    </message>
    <message>
        <source>60 Гц</source>
        <translation>60 Гц</translation>
    </message>
    <message>
        <source>выкл.</source>
        <translation>выкл.</translation>
    </message>
    <message>
        <source>0,05 Гц</source>
        <translation>0,05 Гц</translation>
    </message>
    <message>
        <source>0,5 Гц</source>
        <translation>0,5 Гц</translation>
    </message>
    <message>
        <source>35 Гц</source>
        <translation>35 Гц</translation>
    </message>
    <message>
        <source>40 Гц</source>
        <translation>40 Гц</translation>
    </message>
    <message>
        <source>выкл. (150 Гц)</source>
        <translation>выкл. (150 Гц)</translation>
    </message>
    <message>
        <source>Имитатор прибора</source>
        <translation>Имитатор прибора</translation>
    </message>
    <message>
        <source>Первый прибор на USB</source>
        <translation>Первый прибор на USB</translation>
    </message>
    <message>
        <source>Найден прибор</source>
        <translation>Найден прибор</translation>
    </message>
    <message>
        <source>Прибор</source>
        <translation>Прибор</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Порт</translation>
    </message>
    <message>
        <source>Выберите найденный прибор или имитатор, или введите путь к порту (например, /dev/ttyUSB0)</source>
        <translation>Выберите найденный прибор или имитатор, или введите путь к порту (например, /dev/ttyUSB0)</translation>
    </message>
    <message>
        <source>Вид</source>
        <translation>Вид</translation>
    </message>
    <message>
        <source>Тёмный фон экрана</source>
        <translation>Тёмный фон экрана</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::CardFileWindow</name>
    <message>
        <source>Выберите пациента</source>
        <translation>Выберите пациента</translation>
    </message>
    <message>
        <source>Архив пациента заполнен: в нём 999 записей. Новая ЭКГ не может быть записана</source>
        <translation>Архив пациента заполнен: в нём 999 записей. Новая ЭКГ не может быть записана</translation>
    </message>
    <message>
        <source>Выберите в архиве № ЭКГ</source>
        <translation>Выберите в архиве № ЭКГ</translation>
    </message>
    <message>
        <source>Картотека занята: её изменяет другая программа или рабочее место. Повторите через несколько секунд.</source>
        <translation>Картотека занята: её изменяет другая программа или рабочее место. Повторите через несколько секунд.</translation>
    </message>
    <message>
        <source>Ошибка открытия картотеки
</source>
        <translation>Ошибка открытия картотеки
</translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Пациент</translation>
    </message>
    <message>
        <source>Новый пациент</source>
        <translation>Новый пациент</translation>
    </message>
    <message>
        <source>Изменить</source>
        <translation>Изменить</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Удалить</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Открыть</translation>
    </message>
    <message>
        <source>Запись</source>
        <translation>Запись</translation>
    </message>
    <message>
        <source>Архив пациента</source>
        <translation>Архив пациента</translation>
    </message>
    <message>
        <source>Ф.И.О.</source>
        <translation>Ф.И.О.</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Пол</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Дата рождения</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>Место рождения</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Телефон</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>Медицинский страховой полис</translation>
    </message>
    <message>
        <source>Ф.И.О.</source>
        <comment>column</comment>
        <translation>Ф.И.О.</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <comment>column</comment>
        <translation>Дата рожд.</translation>
    </message>
    <message>
        <source>Пол</source>
        <comment>column</comment>
        <translation>Пол</translation>
    </message>
    <message>
        <source>№</source>
        <comment>column</comment>
        <translation>№</translation>
    </message>
    <message>
        <source>Дата</source>
        <comment>column</comment>
        <translation>Дата</translation>
    </message>
    <message>
        <source>Время</source>
        <comment>column</comment>
        <translation>Время</translation>
    </message>
    <message>
        <source>Длительность ЭКГ,с</source>
        <comment>column</comment>
        <translation>Длительность ЭКГ,с</translation>
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
        <translation>Ошибка записи в картотеку
</translation>
    </message>
    <message>
        <source>Ошибка удаления пациента
</source>
        <translation>Ошибка удаления пациента
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
        <translation>Ошибка открытия файла с ЭКГ</translation>
    </message>
    <message>
        <source>Удалить запись?</source>
        <translation>Удалить запись?</translation>
    </message>
    <message>
        <source>Ошибка отрытия файла</source>
        <translation>Ошибка отрытия файла</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Удалить пациента «%1» и все его записи (%2)?</source>
        <translation>Удалить пациента «%1» и все его записи (%2)?</translation>
    </message>
    <message>
        <source>Вид</source>
        <comment>column</comment>
        <translation>Вид</translation>
    </message>
    <message>
        <source>Ритмограмма</source>
        <translation>Ритмограмма</translation>
    </message>
    <message>
        <source>Экспорт</source>
        <translation>Экспорт</translation>
    </message>
    <message>
        <source>Поиск:</source>
        <translation>Поиск:</translation>
    </message>
    <message>
        <source>Ф.И.О., ID, полис или дата рождения</source>
        <translation>Ф.И.О., ID, полис или дата рождения</translation>
    </message>
    <message>
        <source>Показать пациентов, у которых Ф.И.О., ID, номер полиса или дата рождения содержат каждое из введённых слов</source>
        <translation>Показать пациентов, у которых Ф.И.О., ID, номер полиса или дата рождения содержат каждое из введённых слов</translation>
    </message>
    <message>
        <source>Отправка</source>
        <comment>column</comment>
        <translation>Отправка</translation>
    </message>
    <message>
        <source>Отправить</source>
        <translation>Отправить</translation>
    </message>
    <message>
        <source>Отправить ЭКГ в архив (PACS) и в медицинскую систему</source>
        <translation>Отправить ЭКГ в архив (PACS) и в медицинскую систему</translation>
    </message>
    <message>
        <source>Очередь отправки</source>
        <translation>Очередь отправки</translation>
    </message>
    <message>
        <source>Сравнить</source>
        <translation>Сравнить</translation>
    </message>
    <message>
        <source>Сравнить выделенную ЭКГ с другой ЭКГ этого пациента</source>
        <translation>Сравнить выделенную ЭКГ с другой ЭКГ этого пациента</translation>
    </message>
    <message>
        <source>Заключение</source>
        <comment>column</comment>
        <translation>Заключение</translation>
    </message>
    <message>
        <source>отчёт не читается</source>
        <translation>отчёт не читается</translation>
    </message>
    <message>
        <source>Подтверждено</source>
        <translation>Подтверждено</translation>
    </message>
    <message>
        <source>не подтверждено</source>
        <translation>не подтверждено</translation>
    </message>
    <message>
        <source>Подтверждено: %1, %2</source>
        <translation>Подтверждено: %1, %2</translation>
    </message>
    <message>
        <source>Не подтверждено</source>
        <translation>Не подтверждено</translation>
    </message>
    <message>
        <source>Что отправляется, отправлено или не принято</source>
        <translation>Что отправляется, отправлено или не принято</translation>
    </message>
    <message>
        <source>Ранее снятые ЭКГ</source>
        <translation>Ранее снятые ЭКГ</translation>
    </message>
    <message>
        <source>ЭКГ этого пациента в архиве (PACS)</source>
        <translation>ЭКГ этого пациента в архиве (PACS)</translation>
    </message>
    <message>
        <source>Рабочий список</source>
        <translation>Рабочий список</translation>
    </message>
    <message>
        <source>Направления на сегодня с сервера рабочего списка</source>
        <translation>Направления на сегодня с сервера рабочего списка</translation>
    </message>
    <message>
        <source>Запросы GDT</source>
        <translation>Запросы GDT</translation>
    </message>
    <message>
        <source>Запросы программы врачебной практики (GDT)</source>
        <translation>Запросы программы врачебной практики (GDT)</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::PatientInputs</name>
    <message>
        <source>Ф.И.О.</source>
        <translation>Ф.И.О.</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Пол</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Дата рождения</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>Место рождения</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Телефон</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>Медицинский страховой полис</translation>
    </message>
    <message>
        <source>Муж</source>
        <translation>Муж</translation>
    </message>
    <message>
        <source>Жен</source>
        <translation>Жен</translation>
    </message>
    <message>
        <source>Новый пациент</source>
        <translation>Новый пациент</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Введите ФИО пациента и № страхового полиса</source>
        <translation>Введите ФИО пациента и № страхового полиса</translation>
    </message>
    <message>
        <source>Введите ФИО пациента</source>
        <translation>Введите ФИО пациента</translation>
    </message>
    <message>
        <source>Введите № страхового полиса</source>
        <translation>Введите № страхового полиса</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Ошибка создания ID файла</source>
        <translation>Ошибка создания ID файла</translation>
    </message>
    <message>
        <source>Изменить данные о пациенте</source>
        <translation>Изменить данные о пациенте</translation>
    </message>
    <message>
        <source>«%1»: не более %2 знаков</source>
        <translation>«%1»: не более %2 знаков</translation>
    </message>
    <message>
        <source>Укажите пол пациента</source>
        <translation>Укажите пол пациента</translation>
    </message>
    <message>
        <source>В картотеке уже есть пациент с полисом № %1: %2. Создать ещё одного?</source>
        <translation>В картотеке уже есть пациент с полисом № %1: %2. Создать ещё одного?</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::UnfiledRecordings</name>
    <message>
        <source>Найдена незавершённая запись пациента %1, %2 с. Сохранить в архив?</source>
        <translation>Найдена незавершённая запись пациента %1, %2 с. Сохранить в архив?</translation>
    </message>
    <message>
        <source>Запись не внесена в архив и осталась в файле </source>
        <translation>Запись не внесена в архив и осталась в файле </translation>
    </message>
    <message>
        <source>Сохранено: %1, № %2, %3 с</source>
        <translation>Сохранено: %1, № %2, %3 с</translation>
    </message>
    <message>
        <source>Найдены записи, не внесённые ни в одну карту (%1). Они сохранены в папке %2; внести в карту пациента: velkard-cli recover</source>
        <translation>Найдены записи, не внесённые ни в одну карту (%1). Они сохранены в папке %2; внести в карту пациента: velkard-cli recover</translation>
    </message>
</context>
<context>
    <name>velkard::compare::ui::CompareWindow</name>
    <message>
        <source>ЧСС, уд/мин</source>
        <translation>ЧСС, уд/мин</translation>
    </message>
    <message>
        <source>RR, мс</source>
        <translation>RR, мс</translation>
    </message>
    <message>
        <source>P, мс</source>
        <translation>P, мс</translation>
    </message>
    <message>
        <source>PR, мс</source>
        <translation>PR, мс</translation>
    </message>
    <message>
        <source>QRS, мс</source>
        <translation>QRS, мс</translation>
    </message>
    <message>
        <source>QT, мс</source>
        <translation>QT, мс</translation>
    </message>
    <message>
        <source>QTc (Базетт), мс</source>
        <translation>QTc (Базетт), мс</translation>
    </message>
    <message>
        <source>QTc (Фридеричиа), мс</source>
        <translation>QTc (Фридеричиа), мс</translation>
    </message>
    <message>
        <source>Ось P, °</source>
        <translation>Ось P, °</translation>
    </message>
    <message>
        <source>Ось QRS, °</source>
        <translation>Ось QRS, °</translation>
    </message>
    <message>
        <source>Ось T, °</source>
        <translation>Ось T, °</translation>
    </message>
    <message>
        <source>Сравнение ЭКГ</source>
        <translation>Сравнение ЭКГ</translation>
    </message>
    <message>
        <source>Пациент: %1</source>
        <translation>Пациент: %1</translation>
    </message>
    <message>
        <source>Дата рождения: %1</source>
        <translation>Дата рождения: %1</translation>
    </message>
    <message>
        <source>заключение подтверждено: %1, %2</source>
        <translation>заключение подтверждено: %1, %2</translation>
    </message>
    <message>
        <source>заключение программы, не подтверждено</source>
        <translation>заключение программы, не подтверждено</translation>
    </message>
    <message>
        <source>Ранее: %1 %2 (%3)</source>
        <translation>Ранее: %1 %2 (%3)</translation>
    </message>
    <message>
        <source>Теперь: %1 %2 (%3)</source>
        <translation>Теперь: %1 %2 (%3)</translation>
    </message>
    <message>
        <source>Показатель</source>
        <translation>Показатель</translation>
    </message>
    <message>
        <source>Разница</source>
        <translation>Разница</translation>
    </message>
    <message>
        <source>Заключение</source>
        <translation>Заключение</translation>
    </message>
    <message>
        <source>Появилось: %1</source>
        <translation>Появилось: %1</translation>
    </message>
    <message>
        <source>Исчезло: %1</source>
        <translation>Исчезло: %1</translation>
    </message>
    <message>
        <source>Без изменений: %1</source>
        <translation>Без изменений: %1</translation>
    </message>
    <message>
        <source>Ни одна ЭКГ не содержит заключений</source>
        <translation>Ни одна ЭКГ не содержит заключений</translation>
    </message>
    <message>
        <source>%1 мм/с   %2 мм/мВ</source>
        <translation>%1 мм/с   %2 мм/мВ</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Печать</translation>
    </message>
    <message>
        <source>Сохранить сравнение на одной странице в файл PDF</source>
        <translation>Сохранить сравнение на одной странице в файл PDF</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Изменение</source>
        <translation>Изменение</translation>
    </message>
    <message>
        <source>Появилось</source>
        <translation>Появилось</translation>
    </message>
    <message>
        <source>Исчезло</source>
        <translation>Исчезло</translation>
    </message>
    <message>
        <source>Без изменений</source>
        <translation>Без изменений</translation>
    </message>
    <message>
        <source>Сохранить сравнение ЭКГ в файл PDF</source>
        <translation>Сохранить сравнение ЭКГ в файл PDF</translation>
    </message>
    <message>
        <source>Сравнение ЭКГ %1 %2 и %3</source>
        <translation>Сравнение ЭКГ %1 %2 и %3</translation>
    </message>
    <message>
        <source>Сравнение не сохранено:
</source>
        <translation>Сравнение не сохранено:
</translation>
    </message>
    <message>
        <source>Сравнение ЭКГ сохранено в файл PDF
</source>
        <translation>Сравнение ЭКГ сохранено в файл PDF
</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Информация</translation>
    </message>
</context>
<context>
    <name>velkard::compare::ui::PickRecordingDialog</name>
    <message>
        <source>Сравнить с ЭКГ</source>
        <translation>Сравнить с ЭКГ</translation>
    </message>
    <message>
        <source>С какой ЭКГ сравнить ЭКГ от %1 %2?</source>
        <translation>С какой ЭКГ сравнить ЭКГ от %1 %2?</translation>
    </message>
    <message>
        <source>№</source>
        <translation>№</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Дата</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Время</translation>
    </message>
    <message>
        <source>Длительность, с</source>
        <translation>Длительность, с</translation>
    </message>
    <message>
        <source>Сравнить</source>
        <translation>Сравнить</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с ЭКГ
</source>
        <translation>Ошибка открытия файла с ЭКГ
</translation>
    </message>
</context>
<context>
    <name>velkard::exporting::ui::ExportRecording</name>
    <message>
        <source>Ошибка открытия файла с ЭКГ</source>
        <translation>Ошибка открытия файла с ЭКГ</translation>
    </message>
    <message>
        <source>Ритмограмма не содержит отведений ЭКГ и не экспортируется</source>
        <translation>Ритмограмма не содержит отведений ЭКГ и не экспортируется</translation>
    </message>
    <message>
        <source>Запись ЭКГ пуста</source>
        <translation>Запись ЭКГ пуста</translation>
    </message>
    <message>
        <source>Формат SCP-ECG вмещает не более 40 с записи и не вмещает запись A2 после первых 10 с; выберите EDF+, DICOM или HL7 aECG</source>
        <translation>Формат SCP-ECG вмещает не более 40 с записи и не вмещает запись A2 после первых 10 с; выберите EDF+, DICOM или HL7 aECG</translation>
    </message>
    <message>
        <source>Не удалось записать файл (папка только для чтения или диск заполнен); файл не создан</source>
        <translation>Не удалось записать файл (папка только для чтения или диск заполнен); файл не создан</translation>
    </message>
    <message>
        <source>Ошибка экспорта</source>
        <translation>Ошибка экспорта</translation>
    </message>
    <message>
        <source>EDF+ для программ просмотра (*.edf)</source>
        <translation>EDF+ для программ просмотра (*.edf)</translation>
    </message>
    <message>
        <source>DICOM ЭКГ для архива изображений (*.dcm)</source>
        <translation>DICOM ЭКГ для архива изображений (*.dcm)</translation>
    </message>
    <message>
        <source>Экспорт ЭКГ</source>
        <translation>Экспорт ЭКГ</translation>
    </message>
    <message>
        <source>ЭКГ экспортирована в файл
</source>
        <translation>ЭКГ экспортирована в файл
</translation>
    </message>
    <message>
        <source>Экспорт</source>
        <translation>Экспорт</translation>
    </message>
    <message>
        <source>Экспорт: %1 с из %2 с</source>
        <translation>Экспорт: %1 с из %2 с</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::Calipers</name>
    <message>
        <source>,</source>
        <translation>,</translation>
    </message>
    <message>
        <source>Δt %1 мс  %2 уд/мин  ΔU %3 мВ</source>
        <translation>Δt %1 мс  %2 уд/мин  ΔU %3 мВ</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::HeartRateLabel</name>
    <message>
        <source>ЧСС</source>
        <translation>ЧСС</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::MeasurementsController</name>
    <message>
        <source>отключено</source>
        <translation>отключено</translation>
    </message>
    <message>
        <source>шум</source>
        <translation>шум</translation>
    </message>
    <message>
        <source>сеть</source>
        <translation>сеть</translation>
    </message>
    <message>
        <source>дрейф</source>
        <translation>дрейф</translation>
    </message>
    <message>
        <source>скачки</source>
        <translation>скачки</translation>
    </message>
    <message>
        <source>Измерения</source>
        <translation>Измерения</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::MeasurementsWindow</name>
    <message>
        <source>ЧСС</source>
        <translation>ЧСС</translation>
    </message>
    <message>
        <source>уд/мин</source>
        <translation>уд/мин</translation>
    </message>
    <message>
        <source>RR</source>
        <translation>RR</translation>
    </message>
    <message>
        <source>мс</source>
        <translation>мс</translation>
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
        <translation>QTc (Базетт)</translation>
    </message>
    <message>
        <source>QTc (Фридеричиа)</source>
        <translation>QTc (Фридеричиа)</translation>
    </message>
    <message>
        <source>Ось P</source>
        <translation>Ось P</translation>
    </message>
    <message>
        <source>Ось QRS</source>
        <translation>Ось QRS</translation>
    </message>
    <message>
        <source>Ось T</source>
        <translation>Ось T</translation>
    </message>
    <message>
        <source>SV1 + RV5 (Соколов–Лайон)</source>
        <translation>SV1 + RV5 (Соколов–Лайон)</translation>
    </message>
    <message>
        <source>мВ</source>
        <translation>мВ</translation>
    </message>
    <message>
        <source>Измерения</source>
        <translation>Измерения</translation>
    </message>
    <message>
        <source>R, мВ</source>
        <translation>R, мВ</translation>
    </message>
    <message>
        <source>S, мВ</source>
        <translation>S, мВ</translation>
    </message>
    <message>
        <source>С %1 по %2 с, комплексов в медиане: %3</source>
        <translation>С %1 по %2 с, комплексов в медиане: %3</translation>
    </message>
    <message>
        <source>Q, мс</source>
        <translation>Q, мс</translation>
    </message>
    <message>
        <source>Q, мВ</source>
        <translation>Q, мВ</translation>
    </message>
    <message>
        <source>R′, мВ</source>
        <translation>R′, мВ</translation>
    </message>
    <message>
        <source>ST J, мВ</source>
        <translation>ST J, мВ</translation>
    </message>
    <message>
        <source>ST J+60, мВ</source>
        <translation>ST J+60, мВ</translation>
    </message>
    <message>
        <source>ST J+80, мВ</source>
        <translation>ST J+80, мВ</translation>
    </message>
    <message>
        <source>Сигнал</source>
        <translation>Сигнал</translation>
    </message>
    <message>
        <source>T, мВ</source>
        <translation>T, мВ</translation>
    </message>
    <message>
        <source>Заключение программы (не подтверждено)</source>
        <translation>Заключение программы (не подтверждено)</translation>
    </message>
    <message>
        <source>Заключение</source>
        <translation>Заключение</translation>
    </message>
    <message>
        <source>Почему</source>
        <translation>Почему</translation>
    </message>
    <message>
        <source>Добавить…</source>
        <translation>Добавить…</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Удалить</translation>
    </message>
    <message>
        <source>Изменить текст…</source>
        <translation>Изменить текст…</translation>
    </message>
    <message>
        <source>Свой текст…</source>
        <translation>Свой текст…</translation>
    </message>
    <message>
        <source>Подтвердить…</source>
        <translation>Подтвердить…</translation>
    </message>
    <message>
        <source> (изменено врачом)</source>
        <translation> (изменено врачом)</translation>
    </message>
    <message>
        <source> (добавлено врачом)</source>
        <translation> (добавлено врачом)</translation>
    </message>
    <message>
        <source>текст врача</source>
        <translation>текст врача</translation>
    </message>
    <message>
        <source>Заключение, изменённое врачом (не подтверждено)</source>
        <translation>Заключение, изменённое врачом (не подтверждено)</translation>
    </message>
    <message>
        <source>Подтверждено: %1, %2</source>
        <translation>Подтверждено: %1, %2</translation>
    </message>
    <message>
        <source>он составлен к записи от %1</source>
        <translation>он составлен к записи от %1</translation>
    </message>
    <message>
        <source>Сохранённый отчёт к этой записи не читается (%1). Показано заключение программы; файл отчёта не изменён и при первом изменении будет сохранён под другим именем.</source>
        <translation>Сохранённый отчёт к этой записи не читается (%1). Показано заключение программы; файл отчёта не изменён и при первом изменении будет сохранён под другим именем.</translation>
    </message>
    <message>
        <source>Отчёт не сохранён: %1</source>
        <translation>Отчёт не сохранён: %1</translation>
    </message>
    <message>
        <source>Выберите заключение в списке.</source>
        <translation>Выберите заключение в списке.</translation>
    </message>
    <message>
        <source>Добавить заключение</source>
        <translation>Добавить заключение</translation>
    </message>
    <message>
        <source>Удалить заключение «%1»?</source>
        <translation>Удалить заключение «%1»?</translation>
    </message>
    <message>
        <source>Текст заключения</source>
        <translation>Текст заключения</translation>
    </message>
    <message>
        <source>Заключение:</source>
        <translation>Заключение:</translation>
    </message>
    <message>
        <source>Свой текст</source>
        <translation>Свой текст</translation>
    </message>
    <message>
        <source>Текст врача:</source>
        <translation>Текст врача:</translation>
    </message>
    <message>
        <source>Подтвердить отчёт</source>
        <translation>Подтвердить отчёт</translation>
    </message>
    <message>
        <source>Врач (фамилия, инициалы):</source>
        <translation>Врач (фамилия, инициалы):</translation>
    </message>
    <message>
        <source>Отчёт не подтверждён: не указано имя врача.</source>
        <translation>Отчёт не подтверждён: не указано имя врача.</translation>
    </message>
</context>
<context>
    <name>velkard::memory::ui::DeviceFileList</name>
    <message>
        <source>Память ЭК</source>
        <translation>Память ЭК</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Принять</source>
        <translation>Принять</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Удалить</translation>
    </message>
    <message>
        <source>Выделить всё</source>
        <translation>Выделить всё</translation>
    </message>
    <message>
        <source>Снять выделение</source>
        <translation>Снять выделение</translation>
    </message>
    <message>
        <source>Удалить выбранные файлы (%1) с карты памяти прибора?</source>
        <translation>Удалить выбранные файлы (%1) с карты памяти прибора?</translation>
    </message>
</context>
<context>
    <name>velkard::memory::ui::MemoryWindow</name>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Память</source>
        <translation>Память</translation>
    </message>
    <message>
        <source>Память ЭК</source>
        <translation>Память ЭК</translation>
    </message>
    <message>
        <source>Карта памяти</source>
        <translation>Карта памяти</translation>
    </message>
    <message>
        <source>Картотека</source>
        <translation>Картотека</translation>
    </message>
    <message>
        <source>Новая карта пациента</source>
        <translation>Новая карта пациента</translation>
    </message>
    <message>
        <source>Положить в карту пациента</source>
        <translation>Положить в карту пациента</translation>
    </message>
    <message>
        <source>Скачать архив с карты памяти</source>
        <translation>Скачать архив с карты памяти</translation>
    </message>
    <message>
        <source>Скачать архив с ЭК</source>
        <translation>Скачать архив с ЭК</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Фамилия Имя Отчество</source>
        <translation>Фамилия Имя Отчество</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Пол</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Дата рождения</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>Место рождения</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Телефон</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>Медицинский страховой полис</translation>
    </message>
    <message>
        <source>Прибор не найден</source>
        <translation>Прибор не найден</translation>
    </message>
    <message>
        <source>Выберите пациента в картотеке</source>
        <translation>Выберите пациента в картотеке</translation>
    </message>
    <message>
        <source>Выберите файл ЭКГ для сохранения</source>
        <translation>Выберите файл ЭКГ для сохранения</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Информация</translation>
    </message>
    <message>
        <source>Файл помещён в карту пациента</source>
        <translation>Файл помещён в карту пациента</translation>
    </message>
    <message>
        <source>Файлы помещены в карту пациента: </source>
        <translation>Файлы помещены в карту пациента: </translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::EarlierWindow</name>
    <message>
        <source>Ранее снятые ЭКГ</source>
        <translation>Ранее снятые ЭКГ</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Дата</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Время</translation>
    </message>
    <message>
        <source>Исследование</source>
        <translation>Исследование</translation>
    </message>
    <message>
        <source>№ направления</source>
        <translation>№ направления</translation>
    </message>
    <message>
        <source>ЭКГ</source>
        <translation>ЭКГ</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Открыть</translation>
    </message>
    <message>
        <source>Получить ЭКГ из архива и открыть для просмотра и измерения</source>
        <translation>Получить ЭКГ из архива и открыть для просмотра и измерения</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Архив (PACS) не настроен: Настройка → Параметры → Сеть</source>
        <translation>Архив (PACS) не настроен: Настройка → Параметры → Сеть</translation>
    </message>
    <message>
        <source>Не по чему искать в архиве: у пациента нет ни ID больницы, ни имени
</source>
        <translation>Не по чему искать в архиве: у пациента нет ни ID больницы, ни имени
</translation>
    </message>
    <message>
        <source>Запрос к архиву (%1 из %2)…</source>
        <translation>Запрос к архиву (%1 из %2)…</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Архив (PACS) недоступен
</source>
        <translation>Архив (PACS) недоступен
</translation>
    </message>
    <message>
        <source>Архив (PACS) отказал в запросе
</source>
        <translation>Архив (PACS) отказал в запросе
</translation>
    </message>
    <message>
        <source>В архиве нет ЭКГ пациента с таким именем и датой рождения</source>
        <translation>В архиве нет ЭКГ пациента с таким именем и датой рождения</translation>
    </message>
    <message>
        <source>В архиве нет ЭКГ пациента с ID %1</source>
        <translation>В архиве нет ЭКГ пациента с ID %1</translation>
    </message>
    <message>
        <source>Исследований с ЭКГ: %1</source>
        <translation>Исследований с ЭКГ: %1</translation>
    </message>
    <message>
        <source>Выберите исследование</source>
        <translation>Выберите исследование</translation>
    </message>
    <message>
        <source>Получение ЭКГ из архива (%1 из %2)…</source>
        <translation>Получение ЭКГ из архива (%1 из %2)…</translation>
    </message>
    <message>
        <source>ЭКГ не получена из архива
</source>
        <translation>ЭКГ не получена из архива
</translation>
    </message>
    <message>
        <source>Архив не передал ни одной ЭКГ этого исследования</source>
        <translation>Архив не передал ни одной ЭКГ этого исследования</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::EcgChoiceDialog</name>
    <message>
        <source>В исследовании несколько ЭКГ: выберите одну</source>
        <translation>В исследовании несколько ЭКГ: выберите одну</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Дата</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Время</translation>
    </message>
    <message>
        <source>Серия</source>
        <translation>Серия</translation>
    </message>
    <message>
        <source>Отведения</source>
        <translation>Отведения</translation>
    </message>
    <message>
        <source>Длительность, с</source>
        <translation>Длительность, с</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Открыть</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::GdtWindow</name>
    <message>
        <source>Запросы GDT</source>
        <translation>Запросы GDT</translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Пациент</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <translation>Дата рожд.</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Пол</translation>
    </message>
    <message>
        <source>№ пациента GDT</source>
        <translation>№ пациента GDT</translation>
    </message>
    <message>
        <source>Исследование</source>
        <translation>Исследование</translation>
    </message>
    <message>
        <source>Файл</source>
        <translation>Файл</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Взять</source>
        <translation>Взять</translation>
    </message>
    <message>
        <source>Найти или завести карту пациента по номеру GDT; результат следующей ЭКГ будет записан в папку обмена</source>
        <translation>Найти или завести карту пациента по номеру GDT; результат следующей ЭКГ будет записан в папку обмена</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Папка обмена GDT не настроена: Настройка → Параметры → Сеть</source>
        <translation>Папка обмена GDT не настроена: Настройка → Параметры → Сеть</translation>
    </message>
    <message>
        <source>Папка обмена GDT не читается: %1
</source>
        <translation>Папка обмена GDT не читается: %1
</translation>
    </message>
    <message>
        <source>В папке обмена GDT %1 нет запросов для %2</source>
        <translation>В папке обмена GDT %1 нет запросов для %2</translation>
    </message>
    <message>
        <source>Запросов: %1</source>
        <translation>Запросов: %1</translation>
    </message>
    <message>
        <source>муж</source>
        <translation>муж</translation>
    </message>
    <message>
        <source>жен</source>
        <translation>жен</translation>
    </message>
    <message>
        <source>Выберите запрос</source>
        <translation>Выберите запрос</translation>
    </message>
    <message>
        <source>Запрос не принят
</source>
        <translation>Запрос не принят
</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::NetworkPage</name>
    <message>
        <source>Сеть</source>
        <translation>Сеть</translation>
    </message>
    <message>
        <source>AE-титул рабочего места</source>
        <translation>AE-титул рабочего места</translation>
    </message>
    <message>
        <source>Станция в рабочем списке</source>
        <translation>Станция в рабочем списке</translation>
    </message>
    <message>
        <source>как AE-титул рабочего места</source>
        <translation>как AE-титул рабочего места</translation>
    </message>
    <message>
        <source>Рабочий список</source>
        <translation>Рабочий список</translation>
    </message>
    <message>
        <source>Архив (PACS)</source>
        <translation>Архив (PACS)</translation>
    </message>
    <message>
        <source>Приёмник HL7</source>
        <translation>Приёмник HL7</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Порт</translation>
    </message>
    <message>
        <source>AE-титул</source>
        <translation>AE-титул</translation>
    </message>
    <message>
        <source>Папка обмена GDT</source>
        <translation>Папка обмена GDT</translation>
    </message>
    <message>
        <source>Папка заказов HL7</source>
        <translation>Папка заказов HL7</translation>
    </message>
    <message>
        <source>Сертификат центра (TLS)</source>
        <translation>Сертификат центра (TLS)</translation>
    </message>
    <message>
        <source>Отправлять ЭКГ после сохранения</source>
        <translation>Отправлять ЭКГ после сохранения</translation>
    </message>
    <message>
        <source>Отправлять ЭКГ после подтверждения отчёта</source>
        <translation>Отправлять ЭКГ после подтверждения отчёта</translation>
    </message>
    <message>
        <source>Запрашивать подтверждение хранения (Storage Commitment)</source>
        <translation>Запрашивать подтверждение хранения (Storage Commitment)</translation>
    </message>
    <message>
        <source>Принимать ассоциации на порту</source>
        <translation>Принимать ассоциации на порту</translation>
    </message>
    <message>
        <source>Ранее снятые ЭКГ получать</source>
        <translation>Ранее снятые ЭКГ получать</translation>
    </message>
    <message>
        <source>Проверить связь</source>
        <translation>Проверить связь</translation>
    </message>
    <message>
        <source>%1: AE-титул — от 1 до 16 латинских букв, цифр и знаков без «\»</source>
        <translation>%1: AE-титул — от 1 до 16 латинских букв, цифр и знаков без «\»</translation>
    </message>
    <message>
        <source>Не задан ни сервер рабочего списка, ни архив</source>
        <translation>Не задан ни сервер рабочего списка, ни архив</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>связь есть</source>
        <translation>связь есть</translation>
    </message>
    <message>
        <source>нет связи</source>
        <translation>нет связи</translation>
    </message>
    <message>
        <source>Проверка связи: %1 из %2…</source>
        <translation>Проверка связи: %1 из %2…</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::OutboxWindow</name>
    <message>
        <source>Очередь отправки</source>
        <translation>Очередь отправки</translation>
    </message>
    <message>
        <source>ЭКГ</source>
        <translation>ЭКГ</translation>
    </message>
    <message>
        <source>Куда</source>
        <translation>Куда</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>Попыток</source>
        <translation>Попыток</translation>
    </message>
    <message>
        <source>Следующая попытка</source>
        <translation>Следующая попытка</translation>
    </message>
    <message>
        <source>Повторить</source>
        <translation>Повторить</translation>
    </message>
    <message>
        <source>Отправить выбранное сейчас</source>
        <translation>Отправить выбранное сейчас</translation>
    </message>
    <message>
        <source>Удалить из очереди…</source>
        <translation>Удалить из очереди…</translation>
    </message>
    <message>
        <source>Больше не отправлять; ЭКГ остаётся в картотеке</source>
        <translation>Больше не отправлять; ЭКГ остаётся в картотеке</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>сейчас</source>
        <translation>сейчас</translation>
    </message>
    <message>
        <source>Приёмник HL7</source>
        <translation>Приёмник HL7</translation>
    </message>
    <message>
        <source>Архив (PACS)</source>
        <translation>Архив (PACS)</translation>
    </message>
    <message>
        <source>Очередь пуста</source>
        <translation>Очередь пуста</translation>
    </message>
    <message>
        <source>Ожидают: %1, с ошибкой: %2, отправлено: %3</source>
        <translation>Ожидают: %1, с ошибкой: %2, отправлено: %3</translation>
    </message>
    <message>
        <source>Выберите отправку</source>
        <translation>Выберите отправку</translation>
    </message>
    <message>
        <source>Очередь сейчас отправляется; повторите через несколько секунд</source>
        <translation>Очередь сейчас отправляется; повторите через несколько секунд</translation>
    </message>
    <message>
        <source>Уже отправлено</source>
        <translation>Уже отправлено</translation>
    </message>
    <message>
        <source>Больше не отправлять выбранное? ЭКГ остаётся в картотеке.</source>
        <translation>Больше не отправлять выбранное? ЭКГ остаётся в картотеке.</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::SendActions</name>
    <message>
        <source>Отправка</source>
        <translation>Отправка</translation>
    </message>
    <message>
        <source>Не настроены ни архив (PACS), ни приёмник HL7: Настройка → Параметры → Сеть</source>
        <translation>Не настроены ни архив (PACS), ни приёмник HL7: Настройка → Параметры → Сеть</translation>
    </message>
    <message>
        <source>Ритмограмма не отправляется: в ней нет ЭКГ</source>
        <translation>Ритмограмма не отправляется: в ней нет ЭКГ</translation>
    </message>
    <message>
        <source>ЭКГ не поставлена в очередь отправки
</source>
        <translation>ЭКГ не поставлена в очередь отправки
</translation>
    </message>
    <message>
        <source>отправлено</source>
        <translation>отправлено</translation>
    </message>
    <message>
        <source>ожидает</source>
        <translation>ожидает</translation>
    </message>
    <message>
        <source>ошибка</source>
        <translation>ошибка</translation>
    </message>
    <message>
        <source>ЭКГ уже в очереди отправки. Повторить отправку сейчас?</source>
        <translation>ЭКГ уже в очереди отправки. Повторить отправку сейчас?</translation>
    </message>
    <message>
        <source>ЭКГ уже отправлена. Отправить ещё раз?</source>
        <translation>ЭКГ уже отправлена. Отправить ещё раз?</translation>
    </message>
    <message>
        <source>снято с отправки</source>
        <translation>снято с отправки</translation>
    </message>
    <message>
        <source>отправлено, ожидается подтверждение хранения</source>
        <translation>отправлено, ожидается подтверждение хранения</translation>
    </message>
    <message>
        <source>хранение подтверждено</source>
        <translation>хранение подтверждено</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::WorklistWindow</name>
    <message>
        <source>Рабочий список</source>
        <translation>Рабочий список</translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Пациент</translation>
    </message>
    <message>
        <source>ID пациента</source>
        <translation>ID пациента</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <translation>Дата рожд.</translation>
    </message>
    <message>
        <source>№ направления</source>
        <translation>№ направления</translation>
    </message>
    <message>
        <source>Назначено</source>
        <translation>Назначено</translation>
    </message>
    <message>
        <source>Исследование</source>
        <translation>Исследование</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Взять</source>
        <translation>Взять</translation>
    </message>
    <message>
        <source>Найти или завести карту пациента; следующая ЭКГ будет записана по этому направлению</source>
        <translation>Найти или завести карту пациента; следующая ЭКГ будет записана по этому направлению</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Сервер рабочего списка не настроен: Настройка → Параметры → Сеть</source>
        <translation>Сервер рабочего списка не настроен: Настройка → Параметры → Сеть</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Рабочий список не получен
</source>
        <translation>Рабочий список не получен
</translation>
    </message>
    <message>
        <source>На сегодня направлений нет</source>
        <translation>На сегодня направлений нет</translation>
    </message>
    <message>
        <source>Направлений: %1</source>
        <translation>Направлений: %1</translation>
    </message>
    <message>
        <source>Выберите направление</source>
        <translation>Выберите направление</translation>
    </message>
    <message>
        <source>Направление не принято
</source>
        <translation>Направление не принято
</translation>
    </message>
    <message>
        <source>Запрос к серверу рабочего списка (%1 из %2)…</source>
        <translation>Запрос к серверу рабочего списка (%1 из %2)…</translation>
    </message>
</context>
<context>
    <name>velkard::print::ui::PrintCommands</name>
    <message>
        <source>Сохранить ЭКГ в файл PDF</source>
        <translation>Сохранить ЭКГ в файл PDF</translation>
    </message>
    <message>
        <source>Начало отчёта должно быть целым числом секунд</source>
        <translation>Начало отчёта должно быть целым числом секунд</translation>
    </message>
    <message>
        <source>Ошибка печати</source>
        <translation>Ошибка печати</translation>
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
        <translation>Ошибка печати: </translation>
    </message>
    <message>
        <source>Нет установленных принтеров: «Печать» сохранит ЭКГ в файл PDF</source>
        <translation>Нет установленных принтеров: «Печать» сохранит ЭКГ в файл PDF</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Информация</translation>
    </message>
    <message>
        <source>ЭКГ сохранена в файл PDF
</source>
        <translation>ЭКГ сохранена в файл PDF
</translation>
    </message>
    <message>
        <source>ЭКГ %1 %2</source>
        <translation>ЭКГ %1 %2</translation>
    </message>
    <message>
        <source>Отчёт показывает 10 с: он начинается с %1 с, а не с %2 с, так как запись короче</source>
        <translation>Отчёт показывает 10 с: он начинается с %1 с, а не с %2 с, так как запись короче</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Печать</translation>
    </message>
    <message>
        <source>Печать: страница %1 из %2</source>
        <translation>Печать: страница %1 из %2</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
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
        <translation>Диапазон вывода на печать</translation>
    </message>
    <message>
        <source>Все</source>
        <translation>Все</translation>
    </message>
    <message>
        <source>Выборочно</source>
        <translation>Выборочно</translation>
    </message>
    <message>
        <source>Начало, сек</source>
        <translation>Начало, сек</translation>
    </message>
    <message>
        <source>Конец, сек</source>
        <translation>Конец, сек</translation>
    </message>
    <message>
        <source>Отчёт: 12 отведений на листе, с секунды</source>
        <translation>Отчёт: 12 отведений на листе, с секунды</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Начало отчёта должно быть целым числом секунд</source>
        <translation>Начало отчёта должно быть целым числом секунд</translation>
    </message>
</context>
<context>
    <name>velkard::ui</name>
    <message>
        <source>Ошибка</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Внимание</source>
        <translation>Внимание</translation>
    </message>
</context>
<context>
    <name>velkard::ui::LanguageMenu</name>
    <message>
        <source>Язык</source>
        <translation>Язык</translation>
    </message>
</context>
</TS>
