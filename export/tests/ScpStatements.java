// SPDX-License-Identifier: GPL-3.0-or-later
// Prints what PixelMed's SCP-ECG reader makes of a file's leads and its sections 8 and 11, texts
// as UTF-8 bytes in hexadecimal (the reader hands them over as bytes):
//   leads I,II,...
//   s8 <confirmed> <yyyy-mm-dd hh:mm:ss> <count>
//   s8 <sequence number> <hex of the statement's bytes>
//   (the same for s11), "s8 none" when a section is absent
//   physician <hex of section 1's latest confirming physician, as bytes>
import com.pixelmed.dicom.BinaryInputStream;
import com.pixelmed.scpecg.SCPECG;
import com.pixelmed.scpecg.Section8Or11;
import java.io.FileInputStream;
import java.nio.charset.StandardCharsets;

public class ScpStatements {
    static String hex(byte[] bytes) {
        StringBuilder out = new StringBuilder();
        for (byte b : bytes)
            out.append(String.format("%02x", b));
        return out.toString();
    }

    static void print(String name, Section8Or11 s) {
        if (s == null) {
            System.out.println(name + " none");
            return;
        }
        System.out.println(String.format("%s %d %04d-%02d-%02d %02d:%02d:%02d %d", name,
                s.getConfirmed(), s.getYear(), s.getMonth(), s.getDay(), s.getHour(),
                s.getMinute(), s.getSecond(), s.getNumberOfStatements()));
        for (int i = 0; i < s.getNumberOfStatements(); ++i)
            System.out.println(name + " " + s.getSequenceNumbers()[i] + " "
                    + hex(s.getStatements()[i]));
    }

    public static void main(String[] args) throws Exception {
        SCPECG scp = new SCPECG(new BinaryInputStream(new FileInputStream(args[0]), false), false);
        System.out.println("leads " + String.join(",", scp.getLeadNames()));
        print("s8", scp.getSection8());
        print("s11", scp.getSection11());
        String physician = scp.getNamedField("LatestConfirmingPhysician");
        System.out.println("physician "
                + (physician == null ? "" : hex(physician.getBytes(StandardCharsets.ISO_8859_1))));
    }
}
