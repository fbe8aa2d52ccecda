<%
' The sales of each region in the year ?year= (2024 to 2026), read from the
' site's SQLite database through a parameterised command, as a bar chart.
' Another database takes only another connection string.
Option Explicit
Dim year, conn, cmd, rs, regions(), totals(), count, top, img, width, height, slot, i, x, h, colours
year = Request.QueryString("year")
If Len(year) = 4 And IsNumeric(year) Then year = CLng(year) Else year = 2026

Set conn = Server.CreateObject("ADODB.Connection")
conn.Open "Driver={SQLite3 ODBC Driver};Database=" & Server.MapPath("data/sales.db")
Set cmd = Server.CreateObject("ADODB.Command")
Set cmd.ActiveConnection = conn
cmd.CommandText = "SELECT region, SUM(amount) AS total FROM sales WHERE year = ? GROUP BY region ORDER BY region"
cmd.Parameters.Append cmd.CreateParameter("year", adInteger, adParamInput, , year)
Set rs = cmd.Execute
ReDim regions(3) : ReDim totals(3)
count = 0 : top = 1
Do Until rs.EOF Or count > 3
  regions(count) = rs("region")
  totals(count) = CDbl(rs("total"))
  If totals(count) > top Then top = totals(count)
  count = count + 1
  rs.MoveNext
Loop
rs.Close
conn.Close

width = 320 : height = 200
Set img = Server.CreateObject("Kelvane.Image")
img.PlotWidth = width
img.PlotHeight = height
img.GradientT2B &HFFFFFF, &HE8E0D8&
img.PenColor = &H404040
img.PlotLine 30, 20, 30, height - 25
img.PlotLine 30, height - 25, width - 10, height - 25
colours = Array(&HC08040, &H4080C0, &H40A060, &H6060D0)
If count > 0 Then slot = (width - 50) \ count
For i = 0 To count - 1
  x = 35 + i * slot
  h = Int(totals(i) / top * (height - 70))
  img.PenColor = &H303030
  img.PlotFillColor = colours(i Mod 4)
  img.PlotFillStyle = 0
  img.PlotBox x, height - 26 - h, x + slot - 8, height - 26
  img.PlotFontSize = 8
  img.PlotText x, height - 40 - h, FormatNumber(totals(i), 0)
  img.PlotText x, height - 22, regions(i)
Next
img.PlotFontSize = 11
img.PlotFontBold = True
img.PlotText 40, 2, "Sales " & year
img.SendImage
%>
